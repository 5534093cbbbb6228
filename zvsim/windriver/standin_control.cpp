// zv16x16-standin.exe: plugs the virtual ZV-16x16 into a Wine prefix through the stand-in
// driver, pulls it out, and reports its state. The Wine host (zv16x16-virtual-wine) runs it
// around the program under test.
//
//   zv16x16-standin plug [OPTION...]   the host's options (--help lists them)
//   zv16x16-standin unplug
//   zv16x16-standin report EXIT_STATUS
//
// Plugging in is what Wine's own Plug and Play tests do: a root device node with the
// stand-in's hardware ID (one per interface that --devices names: ROOT\ZV-16x16\0000, 0001
// and on), then the driver installed from its INF, which copies the files, creates the
// "zv-16x16" service, stores it as the devices' service and starts it.
#include <windows.h>
// SetupAPI and the driver installer need the types of windows.h first.
#include <fcntl.h>
#include <io.h>
#include <newdev.h>
#include <setupapi.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device_report.h"
#include "host_options.h"
#include "standin_ioctl.h"
#include "standin_model.h"
#include "usbdevs.h"
#include "usbdevs_win.h"
#include "virtual_device.h"

namespace {

const wchar_t kInstancePrefix[] = L"ROOT\\ZV-16x16\\000";  // and the unit's digit
const wchar_t kHardwareId[] = L"root\\zv16x16_standin\0";  // REG_MULTI_SZ
const wchar_t kInfName[] = L"zv16x16-standin.inf";
const wchar_t kService[] = L"zv-16x16";
// Wine's service control that makes a driver service enumerate its root devices.
const DWORD kReenumerateRootDevices = 128;
const std::chrono::seconds kPlugTimeout(20);

const zvsim::HostUsage kUsage{
    "zv16x16-virtual-wine",
    "Plugs a virtual ZV-16x16 into a Wine prefix, behind a stand-in for the interface's\n"
    "kernel driver, and runs the Windows PROGRAM in it, by default the updater's .exe. When\n"
    "PROGRAM ends, prints each device's state and exits with PROGRAM's status. Several\n"
    "interfaces are the root devices 0000, 0001 and on.\n",
    false, true, false};

void fail(const char *what) {
  std::fprintf(stderr, "zv16x16-standin: %s (error %lu)\n", what, GetLastError());
}

// The program's arguments as Windows gave them, in UTF-16 and in UTF-8.
std::vector<std::wstring> wide_arguments() {
  int count = 0;
  LPWSTR *list = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments(list, list + count);
  LocalFree(list);
  return arguments;
}

std::string utf8(const std::wstring &text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

// The device model reads these when the device is plugged in.
bool store_options(const std::vector<std::wstring> &options) {
  std::wstring list;
  for (const std::wstring &option : options) list += option + L'\0';
  list += L'\0';
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZV_STANDIN_OPTIONS_KEY, 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG status = RegSetValueExW(key, ZV_STANDIN_OPTIONS_VALUE, 0, REG_MULTI_SZ,
                                     reinterpret_cast<const BYTE *>(list.data()),
                                     static_cast<DWORD>(list.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

std::wstring instance_id(int unit) { return kInstancePrefix + std::to_wstring(unit); }

// Removes the unit's device node, if there is one; the driver deletes the interface with it.
bool remove_device(int unit) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  bool removed = true;
  if (SetupDiOpenDeviceInfoW(set, instance_id(unit).c_str(), nullptr, 0, &device)) {
    removed = SetupDiCallClassInstaller(DIF_REMOVE, set, &device) != FALSE;
    if (!removed) fail("the device cannot be removed");
  }
  SetupDiDestroyDeviceInfoList(set);
  return removed;
}

bool remove_devices() {
  bool removed = true;
  for (int unit = 0; unit < ZV_STANDIN_MAX_UNITS; ++unit) removed = remove_device(unit) && removed;
  return removed;
}

bool create_device_node(int unit) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  bool made = SetupDiCreateDeviceInfoW(set, instance_id(unit).c_str(), &GUID_NULL, nullptr, nullptr,
                                       0, &device) &&
              SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID,
                                                reinterpret_cast<const BYTE *>(kHardwareId),
                                                sizeof kHardwareId) &&
              SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
  if (!made) fail("the device node cannot be made");
  SetupDiDestroyDeviceInfoList(set);
  return made;
}

// SetupDiInstallDevice starts the service and has it enumerate its root devices, but only
// logs it when that fails (as in the first session of a new prefix, while two services.exe
// run); do it here if it did not happen.
bool start_service() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager != nullptr
          ? OpenServiceW(manager, kService,
                         SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL)
          : nullptr;
  bool running = false;
  SERVICE_STATUS status{};
  if (service != nullptr) {
    running = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
    if (!running && StartServiceW(service, 0, nullptr)) {
      running = ControlService(service, kReenumerateRootDevices, &status) != FALSE;
    }
  }
  if (!running) fail("the driver's service does not run");
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
  return running;
}

// Present as the updater finds them: by the transport's own listing.
bool wait_for_interfaces(int units) {
  const auto end = std::chrono::steady_clock::now() + kPlugTimeout;
  usbdevs_place places[USBDEVS_MAX_PLACES];
  while (std::chrono::steady_clock::now() < end) {
    if (usbdevs_list(places, USBDEVS_MAX_PLACES) >= units) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fprintf(stderr, "zv16x16-standin: the interface did not appear\n");
  return false;
}

int plug(const std::vector<std::wstring> &options) {
  // Checked here, where a mistake can still be told to the person who made it.
  std::vector<std::string> narrow{"zv16x16-virtual-wine"};
  for (const std::wstring &option : options) narrow.push_back(utf8(option));
  std::vector<char *> argv;
  for (std::string &argument : narrow) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  zvsim::HostOptions parsed;
  zvsim::VirtualDevice trial([] { return uint64_t{0}; });  // the firmware file, too
  if (!zvsim::parse_host_options(static_cast<int>(narrow.size()), argv.data(), kUsage, &parsed) ||
      !zvsim::apply_host_options(parsed, &trial)) {
    return 2;
  }
  wchar_t inf[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, inf, MAX_PATH);
  wchar_t *slash = std::wcsrchr(inf, L'\\');
  if (length == 0 || slash == nullptr ||
      wcscpy_s(slash + 1, MAX_PATH - static_cast<size_t>(slash + 1 - inf), kInfName) != 0) {
    fail("the driver's INF cannot be named");
    return 1;
  }
  if (!store_options(options)) {
    fail("the options cannot be stored");
    return 1;
  }
  // Fresh devices each time: each model reads the options when it is plugged in.
  const int units = parsed.devices.empty() ? 1 : static_cast<int>(parsed.devices.size());
  if (!remove_devices()) return 1;
  for (int unit = 0; unit < units; ++unit) {
    if (!create_device_node(unit)) return 1;
  }
  BOOL reboot = FALSE;
  if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, kHardwareId, inf, INSTALLFLAG_FORCE, &reboot)) {
    fail("the driver cannot be installed");
    return 1;
  }
  return start_service() && wait_for_interfaces(units) ? 0 : 1;
}

std::wstring control_path(int unit) {
  return unit == 0 ? ZV_STANDIN_CONTROL_PATH : ZV_STANDIN_CONTROL_PATH + std::to_wstring(unit);
}

// The unit's state as its driver tells it, with the place shown beside it when there are
// several ("0001", as the console shows the interface's place). False when the unit has
// no control path: there is no such unit.
bool report_unit(int unit, bool several, int exit_code) {
  HANDLE handle = CreateFileW(control_path(unit).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  struct {
    ULONG refused;
    zvsim::DeviceState state;
    char fault_line[ZV_STANDIN_FAULT_LINE_BYTES];
  } answer{};
  static_assert(
      sizeof answer == sizeof(ULONG) + sizeof(zvsim::DeviceState) + ZV_STANDIN_FAULT_LINE_BYTES,
      "the driver's answer is the three parts end to end");
  DWORD returned = 0;
  const BOOL read = DeviceIoControl(handle, ZV_STANDIN_IOCTL_STATE, nullptr, 0, &answer,
                                    sizeof answer, &returned, nullptr);
  CloseHandle(handle);
  if (!read || returned != sizeof answer) {
    fail("the device's state cannot be read");
    return false;
  }
  const std::string place = "000" + std::to_string(unit);
  std::printf("driver requests refused as malformed: %lu\n", answer.refused);
  answer.fault_line[ZV_STANDIN_FAULT_LINE_BYTES - 1] = '\0';
  zvsim::print_device_report(answer.state, exit_code, several ? place.c_str() : nullptr,
                             answer.fault_line);
  return true;
}

bool unit_present(int unit) {
  HANDLE handle = CreateFileW(control_path(unit).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

int report(const std::wstring &exit_status) {
  if (!unit_present(0)) {
    fail("the stand-in driver does not run");
    return 1;
  }
  int units = 1;
  while (units < ZV_STANDIN_MAX_UNITS && unit_present(units)) ++units;
  for (int unit = 0; unit < units; ++unit) {
    if (!report_unit(unit, units > 1, _wtoi(exit_status.c_str()))) return 1;
  }
  return 0;
}

}  // namespace

int main() {
  // The report is read on Linux: lines end as they do there.
  _setmode(_fileno(stdout), _O_BINARY);
  const std::vector<std::wstring> arguments = wide_arguments();
  const std::wstring command = arguments.size() > 1 ? arguments[1] : L"";
  if (command == L"plug") return plug({arguments.begin() + 2, arguments.end()});
  if (command == L"unplug") return remove_devices() ? 0 : 1;
  if (command == L"report" && arguments.size() == 3) return report(arguments[2]);
  std::fprintf(stderr, "usage: zv16x16-standin plug [OPTION...] | unplug | report EXIT_STATUS\n");
  return 2;
}
