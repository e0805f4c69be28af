#pragma once

// The firmware windows' fixed texts, byte for byte, blanks included.
namespace halvek::fwtext {

// Download window.
inline constexpr const char* kDownloadCaption = "QRV Firmware Upgrade Program.";
inline constexpr const char* kNoFileGroup = "File Name  :  no file selected";
inline constexpr const char* kFileGroupFormat = "File Name : <  %s  > ";  // then upper-cased
inline constexpr const char* kNoConnectionField = "no connection";
inline constexpr const char* kConnectedField = "CONNECTED";
inline constexpr const char* kMessagesInitial = "messages wnd";
inline constexpr const char* kStateInitial = "-  READY  -";
inline constexpr const char* kDownloadButton = "DOWNLOAD";
inline constexpr const char* kExitButton = "EXIT";
inline constexpr const char* kPowerUpQuestion = "Power up validator with switches set for download mode";
inline constexpr const char* kConnectFirst = "You have to connect first to download new program";

inline constexpr const char* kReadyInstruction = "Start the upgrade procedure by clicking on DOWNLOAD button";
inline constexpr const char* kReadyState = "  ready, no file selected ";
inline constexpr const char* kFileReadyInstruction = "Click on  DOWNLOAD  button to continue";
inline constexpr const char* kFileReadyState = " file ready";
inline constexpr const char* kDownloadingInstruction = "Wait while program downloads selected file";
inline constexpr const char* kDownloadingState = "  downloading.....";
inline constexpr const char* kFinishedConnectInstruction = "Download finished. EXIT this window and CONNECT to resume.";
inline constexpr const char* kFinishedRepeatInstruction =
    "Download finished. To repeat it click on DOWNLOAD button again.";
inline constexpr const char* kFinishedState = "  download successful";
inline constexpr const char* kFailedInstruction = "Download aborted. EXIT program and try again. ";
inline constexpr const char* kFailedState = "  download failed.";
// The program checksum read back from the unit after a download.
inline constexpr const char* kVerifiedState = "  download successful, verified";
inline constexpr const char* kDifferentState = "  download successful, CRC DIFFERENT";
inline constexpr const char* kNotVerifiedState = "  download successful, not verified";
// Once the check has connected the controller again and the unit answers it.
inline constexpr const char* kFinishedResumedInstruction = "Download finished. Validator connected: EXIT this window.";

inline constexpr const char* kEraseFailed = "erase all cmd failed";
inline constexpr const char* kHeaderFailed = "header send cmd failed";
inline constexpr const char* kBlockFailed = "send block cmd failed";
inline constexpr const char* kAckFailed = "send ack cmd failed";
inline constexpr const char* kTimeouts = "Over 100 timeout errors";
inline constexpr const char* kRateFailed = "failed connection rate change";
inline constexpr const char* k9600Failed = "failed connection at 9600";
// The device hung up under the download: "Line lost: /dev/ttyUSB0 hung up or went away".
inline constexpr const char* kLineLost = "Line lost";
inline constexpr const char* kLineLostWhy = " hung up or went away";

inline constexpr const char* kInfo = "Info";
inline constexpr const char* kInfoLower = "info";
inline constexpr const char* kNoConnection = "No connection";

inline constexpr const char* kFileDialogFilter = "QRVprogram_file (*.L8F *.l8f)";
inline constexpr const char* kFileDialogInitial = "*.L8F";

// Upload window.
inline constexpr const char* kUploadCaption = "QRV Firmware Upload";
inline constexpr const char* kUploadNoFileGroup = "Upload File : no file selected";
inline constexpr const char* kSuggestedNameFormat = "Suggested upload file name: FW_%s.L8F";
inline constexpr const char* kUploadFileGroupFormat = "Upload File : %s";
inline constexpr const char* kUploadReady = "Click on \"Start Upload\" button to continue.";
inline constexpr const char* kStartUploadButton = "Start Upload";
inline constexpr const char* kUploadExitButton = "Exit";
inline constexpr const char* kUploadDialogTitle = "QRV Upload Firmware File";
inline constexpr const char* kUploadInitialNameFormat = "FW_%s.L8F";
inline constexpr const char* kUploadCanceled = "Upload canceled";
inline constexpr const char* kUploading = "Uploading firmware file...";
inline constexpr const char* kUploadingPacketsFormat = "Uploading validator's firmware. ( %d packets )";
inline constexpr const char* kPacketsLeftFormat = "Packets left:  %d ";
inline constexpr const char* kUploadFinished = "Firmware upload finished.";
inline constexpr const char* kAllPackets = "All packets uploaded";
inline constexpr const char* kChecksumError = "Transmission or Checksum Error.";
inline constexpr const char* kTenSpaces = "          ";
inline constexpr const char* kUploadFinishedBox = "   Firmware Upload Finished  ";
// The upload's own time-out, when the unit stops sending.
inline constexpr const char* kUploadSilent = "No data from the validator.";

}  // namespace halvek::fwtext
