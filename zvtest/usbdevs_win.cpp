// The Windows transport: finds the ZV-16x16 among the render-class device interfaces by its
// driver service name, and carries each vendor control transfer as one request to the
// interface's own driver. No handle is kept between transfers: every transfer opens the
// driver's control path, sends one request block and closes it again.
//
// The driver bounds each request by its own time-out; this layer sets none. What the
// transport does remember is a driver's word that the device has gone or did not answer:
// from then on every transfer on that record fails at once, until usbdevs_open finds the
// device again, rather than wait out the driver's time-out once for each of the protocol's
// polls (a thousand of them in one idle wait).
#include <windows.h>
// SetupAPI needs the types of windows.h first.
#include <setupapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "usbdevs.h"
#include "usbdevs_win.h"
#include "usbdevs_win_request.h"
#include "zvdiag.h"

namespace {

const char kSource[] = "zvtest\\usbdevs_win.cpp";

// A device that does not exist was named; mingw-w64's headers lack the constant.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

const wchar_t kServiceName[] = L"zv-16x16";
const wchar_t kChannelSuffix[] = L"\\zv-16x16";  // replaces the interface's reference string

const DWORD kEnumerationFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 0x12
const DWORD kServiceBufferBytes = 256;
const DWORD kServiceReadBytes = 254;  // two bytes short, so the text stays terminated

const DWORD kHeaderBytes = ZV_VENDOR_REQUEST_HEADER_BYTES;
const DWORD kMinimumBlock = ZV_VENDOR_REQUEST_MINIMUM_BYTES;

// The record whose device the driver reported gone or silent; null while none is. One per
// process: usbdevs.h lets a transport keep state for the record the program drives.
const usbdevs_device *lost_record = nullptr;

enum class Loss { kNone, kGone, kSilent };

// What a failed open or request says of the device. A stall (ERROR_GEN_FAILURE) and every
// other error are passing ones: the protocol's own retries deal with them.
Loss loss_of(DWORD code) {
  switch (code) {
    case ERROR_SEM_TIMEOUT:  // STATUS_IO_TIMEOUT: the driver waited and nothing answered
    case ERROR_TIMEOUT:
      return Loss::kSilent;
    case ERROR_FILE_NOT_FOUND:  // the control path went with the interface, or a handle held
    case ERROR_PATH_NOT_FOUND:  // across an unplug (STATUS_NO_SUCH_DEVICE)
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NO_SUCH_DEVICE:
      return Loss::kGone;
    default:
      return Loss::kNone;
  }
}

// After a failed transfer on an opened record: remembers a device that has gone or stopped
// answering, with one line that says so.
void judge_failure(const usbdevs_device *dev, DWORD code) {
  const Loss loss = loss_of(code);
  if (loss == Loss::kNone || dev->transport.interface_path[0] == L'\0') return;
  lost_record = dev;
  std::printf("the ZV-16x16 %s; transfers fail until it is opened again\n",
              loss == Loss::kGone ? "is gone" : "does not answer");
}

// "ERROR : <line>" in wide characters. C streams elsewhere cannot mix wide and narrow output
// on one stream, so off Windows the same text goes out narrow.
void print_wide_error(int line) {
#ifdef _WIN32
  std::wprintf(L"ERROR : %d\n", line);
#else
  std::printf("ERROR : %d\n", line);
#endif
}

}  // namespace

// A system error, with the system's text for it. It is the thread's last error afterwards,
// for the caller to judge.
void usbdevs_print_error(DWORD code) {
  std::printf("%s:%d:", kSource, __LINE__);
  std::printf("GetLastError() = %#x\n", static_cast<unsigned>(code));
  LPWSTR text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x0400, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (text != nullptr) {
    std::printf("%ls", text);
    LocalFree(text);
  }
  SetLastError(code);
}

// 1 when an interface of a device whose driver service is `service` was found. Every match
// overwrites `dst`, so the last matching interface wins.
int usbdevs_find_interface(const wchar_t *service, wchar_t *dst, unsigned capacity,
                           errno_t *copy_status) {
  HDEVINFO set = SetupDiGetClassDevsW(&zv_render_class, nullptr, nullptr, kEnumerationFlags);
  if (set == INVALID_HANDLE_VALUE) {
    print_wide_error(__LINE__);
    return 0;
  }
  int found = 0;
  SP_DEVINFO_DATA device;
  std::memset(&device, 0, sizeof device);
  device.cbSize = sizeof device;
  for (DWORD device_index = 0; SetupDiEnumDeviceInfo(set, device_index, &device); ++device_index) {
    BYTE name[kServiceBufferBytes];
    std::memset(name, 0, sizeof name);
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_SERVICE, nullptr, name,
                                           kServiceReadBytes, nullptr)) {
      print_wide_error(__LINE__);
    }
    const bool matches =
        service != nullptr && std::wcscmp(reinterpret_cast<const wchar_t *>(name), service) == 0;

    SP_DEVICE_INTERFACE_DATA interface_data;
    std::memset(&interface_data, 0, sizeof interface_data);
    interface_data.cbSize = sizeof interface_data;
    for (DWORD member = 0;
         SetupDiEnumDeviceInterfaces(set, &device, &zv_render_class, member, &interface_data);
         ++member) {
      DWORD required = 0;
      SetupDiGetDeviceInterfaceDetailW(set, &interface_data, nullptr, 0, &required, nullptr);
      if (required == 0) {
        print_wide_error(__LINE__);
        continue;
      }
      auto *detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(std::malloc(required));
      if (detail == nullptr) {
        print_wide_error(__LINE__);
        continue;
      }
      std::memset(detail, 0, required);
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);  // the fixed part only
      if (!SetupDiGetDeviceInterfaceDetailW(set, &interface_data, detail, required, nullptr,
                                            nullptr)) {
        print_wide_error(__LINE__);
        std::free(detail);
        continue;
      }
      if (matches) {
        // A path that does not fit is not cut into another path: the interface is skipped.
        if (dst != nullptr && std::wcslen(detail->DevicePath) >= capacity) {
          print_wide_error(__LINE__);
          std::free(detail);
          continue;
        }
        if (dst != nullptr) {
          std::memset(dst, 0, capacity * sizeof(wchar_t));
          const errno_t status = wcscpy_s(dst, capacity, detail->DevicePath);
          if (copy_status != nullptr) *copy_status = status;
        }
        found = 1;
      }
      std::free(detail);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

// Opens the driver's control path: the interface path with its last component replaced.
HANDLE usbdevs_open_channel(const wchar_t *interface_path) {
  wchar_t path[USBDEVS_PATH_UNITS];
  const size_t length = std::wcslen(interface_path);
  const wchar_t *cut = std::wcsrchr(interface_path, L'\\');
  const size_t kept = cut != nullptr ? static_cast<size_t>(cut - interface_path) : length;
  const size_t suffix = sizeof kChannelSuffix / sizeof kChannelSuffix[0] - 1;
  if (length >= USBDEVS_PATH_UNITS || kept + suffix >= USBDEVS_PATH_UNITS) {
    // Too long for the control path: refused rather than cut into a different path.
    print_wide_error(__LINE__);
    return INVALID_HANDLE_VALUE;
  }
  wcscpy_s(path, USBDEVS_PATH_UNITS, interface_path);
  path[kept] = L'\0';
  wcscat_s(path, USBDEVS_PATH_UNITS, kChannelSuffix);
  HANDLE handle =
      CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    usbdevs_print_error(code);
    print_wide_error(__LINE__);
    SetLastError(code);
  }
  return handle;
}

// One request to the driver. For an out transfer the output size is 0, so the driver must
// report 0 bytes; an in transfer must get exactly the bytes asked for.
int usbdevs_ioctl(HANDLE handle, void *in, DWORD in_size, void *out, DWORD out_size) {
  DWORD returned = 0;
  if (!DeviceIoControl(handle, ZV_IOCTL_VENDOR_REQUEST, in, in_size, out, out_size, &returned,
                       nullptr)) {
    const DWORD code = GetLastError();
    ZV_DIAG(kSource);
    usbdevs_print_error(code);
    return 1;
  }
  if (returned != out_size) {
    ZV_DIAG(kSource);
    SetLastError(ERROR_SUCCESS);  // the driver answered: nothing to say of the device
    return 1;
  }
  return 0;
}

int usbdevs_init(usbdevs_device *dev) {
  if (lost_record == dev) lost_record = nullptr;
  std::memset(&dev->transport, 0, sizeof dev->transport);
  return 0;
}

int usbdevs_close(usbdevs_device *) { return 0; }

int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index) {
  if (index != 0) return 1;
  if (!usbdevs_find_interface(kServiceName, dev->transport.interface_path, USBDEVS_PATH_UNITS,
                              nullptr)) {
    return 1;
  }
  if (lost_record == dev) lost_record = nullptr;
  if (out != nullptr) *out = dev;
  return 0;
}

// The driver's control path is open to every user: an interface that is found can be used.
int usbdevs_access_denied() { return 0; }

int usbdevs_vendor_out(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                       uint16_t length, const uint8_t *data) {
  if (length == 0 || data == nullptr) {
    ZV_DIAG(kSource);
    return 1;
  }
  if (dev == lost_record) {
    ZV_DIAG(kSource);
    return 1;
  }
  HANDLE handle = usbdevs_open_channel(dev->transport.interface_path);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    ZV_DIAG(kSource);
    judge_failure(dev, code);
    return 1;
  }
  DWORD size = kHeaderBytes + length;
  if (size < kMinimumBlock) size = kMinimumBlock;
  auto *block = static_cast<uint8_t *>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (block == nullptr) {
    ZV_DIAG(kSource);
    CloseHandle(handle);
    return 1;
  }
  std::memset(block, 0, size);
  usbdevs_vendor_request header{};
  header.transfer_flags = 0;
  header.data_length = length;
  header.function = ZV_VENDOR_FUNCTION_DEVICE;
  header.value = value;
  header.index = index;
  header.reserved_bits = 0;
  header.request = request;
  std::memcpy(block, &header, kHeaderBytes);
  std::memcpy(block + kHeaderBytes, data, length);
  const int result = usbdevs_ioctl(handle, block, size, nullptr, 0);
  const DWORD code = GetLastError();
  VirtualFree(block, 0, MEM_RELEASE);
  CloseHandle(handle);
  if (result != 0) judge_failure(dev, code);
  return result;
}

int usbdevs_vendor_in(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length, uint8_t *data) {
  if (dev == lost_record) {
    ZV_DIAG(kSource);
    return 1;
  }
  HANDLE handle = usbdevs_open_channel(dev->transport.interface_path);
  if (handle == INVALID_HANDLE_VALUE) {
    judge_failure(dev, GetLastError());
    return 1;
  }
  usbdevs_vendor_request block{};
  block.transfer_flags = ZV_VENDOR_DIRECTION_IN;
  block.data_length = 0;
  block.function = ZV_VENDOR_FUNCTION_DEVICE;
  block.value = value;
  block.index = index;
  block.reserved_bits = 0;
  block.request = request;
  const int result = usbdevs_ioctl(handle, &block, sizeof block, data, length);
  const DWORD code = GetLastError();
  CloseHandle(handle);
  if (result != 0) judge_failure(dev, code);
  return result;
}
