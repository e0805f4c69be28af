#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "firmware/crc_test/crc_algorithm.h"
#include "link/stores.h"
#include "link/user_interface.h"

namespace halvek {

class CrcTestListener {
  public:
    virtual ~CrcTestListener() = default;
    virtual void crcTestChanged() = 0;  // a field, a box or the enabled state changed
    virtual void crcTestMessage(const Message& message) = 0;
};

// The CRC test: the checksum of the validator's program, of a firmware file,
// or both compared. The unit computes its own checksum on "Run CRC 16/32" and
// is asked for it with "Read CRC 16/32" every 3 s until it answers. The owner
// asks for commands through the request function, ticks the session every
// 500 ms while it wants ticks, and tells it when a read reply has been stored.
class CrcTestSession {
  public:
    using Request = std::function<void(uint8_t code)>;
    static constexpr int kTickMs = 500;
    static constexpr int kTicksPerRead = 6;

    // What the page shows.
    struct Fields {
        CrcAlgorithm algorithm = CrcAlgorithm::Crc16;
        std::string lowSeed = "0000", highSeed = "0000";
        bool programBox = true, fileBox = false;
        std::string programCrc = "0000", fileName, fileCrc = "0000", status;
        bool controlsEnabled = true;  // the radio buttons, both boxes and "Run CRC"
        bool highSeedEnabled() const { return algorithm == CrcAlgorithm::Crc32; }
    };

    CrcTestSession(CrcStore& store, Request request, CrcTestListener* listener = nullptr);

    // The controls.
    void setAlgorithm(CrcAlgorithm a);
    void setSeedTexts(const std::string& low, const std::string& high);
    void setProgramBox(bool checked);
    // The file box: checking it opens the file dialog, whose answer comes here
    // (an empty path when it was cancelled); unchecking forgets the file.
    void chooseFile(const std::string& path);
    void uncheckFileBox();
    void run();

    // Every 500 ms while wantsTicks().
    void onTick();
    bool wantsTicks() const { return timerRunning_; }
    // A "Read CRC 16" or "Read CRC 32" reply has been stored (readCode says
    // which). Only the read of the test under way gives its result: the other
    // width's store holds an older answer.
    void onProgramResult(uint8_t readCode);

    const Fields& fields() const { return fields_; }
    bool programTestRunning() const { return programRunning_; }
    bool fileChosen() const { return fileChosen_; }
    uint32_t programCrc() const { return programValue_; }
    uint32_t fileCrcValue() const { return fileValue_; }
    bool fileCrcValid() const { return fileValid_; }

  private:
    void startProgramTest();
    void computeFileCrc();
    void finish(const char* status);
    void changed();
    void say(const Message& m);

    CrcStore& store_;
    Request request_;
    CrcTestListener* listener_;
    Fields fields_;
    CrcSeeds seeds_;
    std::string filePath_;
    bool fileChosen_ = false;
    bool programRunning_ = false;
    CrcAlgorithm runAlgorithm_ = CrcAlgorithm::Crc16;  // of the test under way
    uint32_t programValue_ = 0, fileValue_ = 0;
    bool fileValid_ = false;
    bool timerRunning_ = false;
    int tickCount_ = 0;
    bool blinkPhase_ = false;
};

}  // namespace halvek
