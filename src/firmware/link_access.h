#pragma once

#include <string>

#include "firmware/download_session.h"
#include "firmware/upload_session.h"
#include "link/link_controller.h"
#include "link/user_interface.h"

namespace halvek {

// The firmware sessions' view of the link controller and its line.
class LinkAccess : public DownloadLink, public UploadLink {
  public:
    LinkAccess(LinkController& controller, UserInterface& ui) : controller_(controller), ui_(ui) {}

    uint8_t linkFlags() const override { return controller_.linkFlags(); }
    void requestDownload() override;
    void closeValidatorPort() override { controller_.closeValidatorPort(); }
    void stopTimer() override { controller_.stopTimer(); }
    void requestUpload() override;
    void setUploadIdle() override;
    void startTimer() override { controller_.startTimer(); }

  private:
    LinkController& controller_;
    UserInterface& ui_;
};

// The validator's port, opened without parity at the speed the download asks
// for, on the device the controller would open.
class SerialDownloadPort : public DownloadPort {
  public:
    SerialDownloadPort(CommBlock& block, std::string path) : block_(block), path_(std::move(path)) {}
    bool open(int baud) override;
    void close() override;
    std::string lastError() const override { return block_.port.lastError(); }
    std::string device() const override { return path_; }

  private:
    CommBlock& block_;
    std::string path_;
};

}  // namespace halvek
