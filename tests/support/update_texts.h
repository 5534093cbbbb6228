// The texts an update ends with, as the user reads them: the window's boxes before the
// confirmation, and the worker's texts of success and failure. Every test that judges how an
// update ended names them from here.
#ifndef TESTS_SUPPORT_UPDATE_TEXTS_H
#define TESTS_SUPPORT_UPDATE_TEXTS_H

namespace update_texts {

// The window's boxes.
constexpr char kNotConnected[] = "Supported hardware is not connected.";
constexpr char kNoProduct[] = "Cannot get connected hardware product";
constexpr char kNoVersion[] = "Cannot get connected hardware version";
constexpr char kNoBuild[] = "Cannot get connected hardware build";
constexpr char kWrongProduct[] = "Product is not matching";
constexpr char kNoChecksum[] = "Cannot get hardware checksum";

// The worker's failures.
constexpr char kError[] = "ERROR";
constexpr char kSetClock[] = "Cannot Set Clocksource";
constexpr char kSetFrequency[] = "Cannot Set Frequency";
constexpr char kGetChecksum[] = "Cannot Get Hardware Checksum";
constexpr char kChecksumInvalid[] = "Hardware checksum is not valid.";
constexpr char kSend[] = "Firmware Update Failed";
constexpr char kChecksumMismatch[] =
    "Hardware checksum is not equal to firmware.\n\nPlease contact the technical support.";

// The endings that are a success.
constexpr char kCompleted[] = "Completed.\n\nPlease turn ZV-16x16's power on again.";
constexpr char kAlreadyUpdated[] = "Already updated.";

}  // namespace update_texts

#endif
