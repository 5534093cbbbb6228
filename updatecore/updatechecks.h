// The checks that come before an update, in the window's order: the loaded image once more,
// then the device's product, version and build, the product rule and, while they apply, the
// version rules and the checksum. The window shows a refusal in its box and asks the user to
// confirm the rest; whatever drives an update without the window makes the same checks here.
#ifndef UPDATECORE_UPDATECHECKS_H
#define UPDATECORE_UPDATECHECKS_H

#include <QString>

#include "deviceconnection.h"
#include "updatejob.h"

// One side of the confirmation, as the user reads it.
struct UpdateSide {
  QString product, version, build;
};

// Which check ended them, for a program that answers with an exit status.
enum class CheckOutcome {
  kOffered,           // every check passed: the update may be offered
  kImageInvalid,      // the loaded image's sums or product
  kNotConnected,      // no interface could be opened
  kDeviceUnreadable,  // the interface did not tell its product, version, build or checksum
  kWrongProduct,
  kNotNewer,          // the image is not newer than the firmware the interface runs
  kAlreadyInstalled,  // the interface already runs the image
};

struct UpdateChecks {
  QString refusal;      // the text of the refusal; empty when the update may be offered
  UpdateSide from, to;  // the device, and the image: those read before a refusal
  CheckOutcome outcome = CheckOutcome::kOffered;
};

// "%1.%2": the version's minor part as two zero-filled digits (105 shows as 1.05).
QString version_text(unsigned version);

// Opens the device and checks it against `loaded` (whose file is `fw_path`); the version
// rules apply when `check_version` holds. Makes the connection's image header the loaded
// image's again first.
UpdateChecks check_update(DeviceConnection &device, const LoadedImage &loaded,
                          const QString &fw_path, bool check_version);

// The question that asks the user to confirm, with both sides.
QString confirmation_text(const UpdateSide &from, const UpdateSide &to);

#endif
