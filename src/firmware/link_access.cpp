#include "firmware/link_access.h"

#include "firmware/firmware_texts.h"
#include "protocol/catalogue.h"

namespace halvek {

void LinkAccess::requestDownload() {
    if (controller_.timerRunning() && controller_.linkOpen())
        controller_.request(cmd::DownloadFirmware);
    else
        ui_.showMessage({fwtext::kInfo, fwtext::kConnectFirst});
}

void LinkAccess::requestUpload() { controller_.request(cmd::UploadFirmware); }

void LinkAccess::setUploadIdle() { controller_.clearRequest(cmd::UploadFirmware); }

bool SerialDownloadPort::open(int baud) {
    if (!block_.port.open(path_, Parity::None, baud)) return false;
    block_.portLost.store(false);
    return true;
}

void SerialDownloadPort::close() { block_.port.closeDrained(); }

}  // namespace halvek
