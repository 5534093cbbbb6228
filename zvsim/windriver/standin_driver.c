/* zv16x16-standin.sys: a stand-in for the ZV-16x16's kernel driver, for Wine.
 *
 * A root-enumerated Plug and Play function driver whose service is "zv-16x16". For each of its
 * root devices (ROOT\ZV-16x16\0000, 0001 and on: one per interface the host plugs in, each
 * with a model of its own) it registers one KSCATEGORY_RENDER device interface (reference
 * string "render") and serves the interface's control path, the interface path with its last
 * component replaced by "\zv-16x16", as the interface's own driver does: its vendor request
 * (usbdevs_win_request.h) performs one vendor control transfer, here on the device model in
 * zv16x16-standin-model.dll.
 * A block that is not as the updater builds it fails and is counted. When the model unplugs
 * itself the interface goes away, so that the next open fails as on Windows; a system thread
 * brings it back after the replug delay.
 *
 * A second name, \\.\ZV16x16StandIn (then ZV16x16StandIn1 and on), stays while the driver
 * runs: the host reads each device's state there when the program under test has ended.
 */
#include <ddk/wdm.h>

#include "standin_ioctl.h"
#include "standin_model.h"
#include "usbdevs_win_request.h"

/* ntifs.h, which declares it, does not build beside wdm.h. */
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable,
                                              PLARGE_INTEGER timeout);

#define PATH_UNITS 300
#define NAME_UNITS 40 /* a control device's name or link */
static const WCHAR control_device_name[] = L"\\Device\\ZV16x16StandIn";
static const WCHAR control_link_name[] = L"\\DosDevices\\ZV16x16StandIn";
static const WCHAR channel_component[] = L"zv-16x16";
static const WCHAR reference_string[] = L"render";
static const WCHAR device_classes_key[] =
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\";

/* One interface: its objects and names, and the number of its model. The function device's
 * and the control device's extensions point at it. */
struct unit {
  int number;
  DEVICE_OBJECT *fdo, *lower, *pdo, *control;
  UNICODE_STRING interface_link;  /* \??\ROOT#zv-16x16#0000#{guid}\render */
  WCHAR channel_link[PATH_UNITS]; /* \??\ROOT#zv-16x16#0000#{guid}\zv-16x16 */
  WCHAR control_device[NAME_UNITS], control_link[NAME_UNITS];
  HANDLE interface_directory; /* \??\ROOT#zv-16x16#0000#{guid}, Wine's route only */
  BOOLEAN interface_enabled, links_made_here;
  KMUTEX presence_lock; /* interface_enabled and the links follow the model together */
  LONG refused_blocks;
  /* The thread that plugs the device in again after the replug delay, while there is one,
   * and the event that a removal sets to end its wait early. The removal waits for the
   * thread, so that the thread never uses what the removal frees. */
  HANDLE replug_thread;
  KEVENT removing;
};
static struct unit units[ZV_STANDIN_MAX_UNITS];

static struct unit *unit_of(DEVICE_OBJECT *device) {
  return device && device->DeviceExtension ? *(struct unit **)device->DeviceExtension : NULL;
}

/* A bounded wide string that says when something did not fit. */
struct path {
  WCHAR text[PATH_UNITS];
  SIZE_T length;
  BOOLEAN overflow;
};

static SIZE_T wide_length(const WCHAR *s) {
  SIZE_T n = 0;
  while (s[n]) n++;
  return n;
}

static void append(struct path *p, const WCHAR *s, SIZE_T n) {
  SIZE_T i;
  if (p->length + n >= PATH_UNITS) {
    p->overflow = TRUE;
    return;
  }
  for (i = 0; i < n; i++) p->text[p->length++] = s[i];
  p->text[p->length] = 0;
}

static void append_text(struct path *p, const WCHAR *s) { append(p, s, wide_length(s)); }

/* Units of the interface link before its last backslash. */
static SIZE_T interface_base_units(const struct unit *u) {
  SIZE_T cut = u->interface_link.Length / sizeof(WCHAR);
  while (cut > 0 && u->interface_link.Buffer[cut - 1] != '\\') cut--;
  return cut > 0 ? cut - 1 : 0;
}

/* The device's instance number, the four digits before the class in the interface link
 * ("...#0001#{guid}\render"); -1 when there are none or no unit has it. */
static int instance_number(const struct unit *u) {
  const SIZE_T base = interface_base_units(u), guid_units = 38;
  const WCHAR *digits;
  int number = 0, i;
  if (base < guid_units + 5) return -1;
  digits = u->interface_link.Buffer + base - guid_units - 5;
  if (digits[4] != '#') return -1;
  for (i = 0; i < 4; i++) {
    if (digits[i] < '0' || digits[i] > '9') return -1;
    number = number * 10 + (digits[i] - '0');
  }
  return number < ZV_STANDIN_MAX_UNITS ? number : -1;
}

/* `base` followed by the unit's digit, but for the first unit. */
static void numbered_name(WCHAR *out, const WCHAR *base, int number) {
  struct path name = {{0}, 0, FALSE};
  WCHAR digit[2] = {0, 0};
  append_text(&name, base);
  digit[0] = (WCHAR)('0' + number);
  if (number > 0) append(&name, digit, 1);
  RtlCopyMemory(out, name.text, NAME_UNITS * sizeof(WCHAR));
}

static NTSTATUS complete(IRP *irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* A block that is not as the updater builds it. */
static NTSTATUS refused(struct unit *u) {
  InterlockedIncrement(&u->refused_blocks);
  return STATUS_INVALID_PARAMETER;
}

static NTSTATUS make_link(const WCHAR *link, const WCHAR *target) {
  UNICODE_STRING l, t;
  RtlInitUnicodeString(&l, link);
  RtlInitUnicodeString(&t, target);
  return IoCreateSymbolicLink(&l, &t);
}

static void delete_link(const WCHAR *link) {
  UNICODE_STRING l;
  RtlInitUnicodeString(&l, link);
  IoDeleteSymbolicLink(&l);
}

/* Linked=value in DeviceClasses\{guid}\##?#<base>\#<reference>\Control, which is what
 * SetupAPI's DIGCF_PRESENT reads. */
static NTSTATUS set_linked(struct unit *u, ULONG value) {
  struct path key = {{0}, 0, FALSE};
  const SIZE_T base = interface_base_units(u), guid_units = 38;
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  HANDLE interface_key, control_key;
  NTSTATUS status;

  if (base < 4 + guid_units) return STATUS_OBJECT_NAME_INVALID;
  append_text(&key, device_classes_key);
  append(&key, u->interface_link.Buffer + base - guid_units, guid_units);
  append_text(&key, L"\\##?#");
  append(&key, u->interface_link.Buffer + 4, base - 4); /* without "\??\" */
  append_text(&key, L"\\#");
  append_text(&key, reference_string);
  if (key.overflow) return STATUS_NAME_TOO_LONG;

  RtlInitUnicodeString(&name, key.text);
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  status = ZwOpenKey(&interface_key, KEY_ALL_ACCESS, &attributes);
  if (!NT_SUCCESS(status)) return status;
  RtlInitUnicodeString(&name, L"Control");
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             interface_key, NULL);
  status =
      ZwCreateKey(&control_key, KEY_ALL_ACCESS, &attributes, 0, NULL, REG_OPTION_VOLATILE, NULL);
  ZwClose(interface_key);
  if (!NT_SUCCESS(status)) return status;
  RtlInitUnicodeString(&name, L"Linked");
  status = ZwSetValueKey(control_key, &name, 0, REG_DWORD, &value, sizeof value);
  ZwClose(control_key);
  return status;
}

/* Wine 8 cannot enable an interface that has a reference string: IoSetDeviceInterfaceState
 * opens "...\#\render" where SetupAPI made "...\#render", and the link it would make,
 * "\??\<base>\render", has no directory "\??\<base>" to live in. Nor can a path below a
 * device object be opened there, so the channel cannot be the function device opened with
 * the file name "\zv-16x16". Where that call fails, the driver makes what Windows would:
 * the directory, the interface's link to the PDO, the channel's link to the control device,
 * and the Linked value. */
static NTSTATUS make_links_here(struct unit *u) {
  struct path directory = {{0}, 0, FALSE}, interface_path = {{0}, 0, FALSE};
  WCHAR pdo_name[128];
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  ULONG length = 0;
  NTSTATUS status;

  append(&directory, u->interface_link.Buffer, interface_base_units(u));
  append(&interface_path, u->interface_link.Buffer, u->interface_link.Length / sizeof(WCHAR));
  if (directory.overflow || interface_path.overflow) return STATUS_NAME_TOO_LONG;
  if (!u->interface_directory) {
    RtlInitUnicodeString(&name, directory.text);
    InitializeObjectAttributes(&attributes, &name,
                               OBJ_CASE_INSENSITIVE | OBJ_OPENIF | OBJ_KERNEL_HANDLE, NULL, NULL);
    status = ZwCreateDirectoryObject(&u->interface_directory, DIRECTORY_ALL_ACCESS, &attributes);
    if (!NT_SUCCESS(status)) return status;
  }
  status = IoGetDeviceProperty(u->pdo, DevicePropertyPhysicalDeviceObjectName, sizeof pdo_name,
                               pdo_name, &length);
  if (!NT_SUCCESS(status)) return status;
  status = make_link(interface_path.text, pdo_name);
  if (NT_SUCCESS(status)) status = make_link(u->channel_link, u->control_device);
  if (NT_SUCCESS(status)) status = set_linked(u, 1);
  return status;
}

static void remove_links_made_here(struct unit *u) {
  set_linked(u, 0);
  delete_link(u->channel_link);
  IoDeleteSymbolicLink(&u->interface_link);
}

/* Plugged in, as far as programs can see: the interface is listed and its channel opens. */
static NTSTATUS enable_interface(struct unit *u) {
  NTSTATUS status = STATUS_SUCCESS;
  KeWaitForSingleObject(&u->presence_lock, Executive, KernelMode, FALSE, NULL);
  if (!u->interface_enabled) {
    status = IoSetDeviceInterfaceState(&u->interface_link, TRUE);
    u->links_made_here = !NT_SUCCESS(status);
    if (u->links_made_here) status = make_links_here(u);
    if (NT_SUCCESS(status))
      u->interface_enabled = TRUE;
    else
      DbgPrint("zv16x16-standin: the interface cannot be enabled: %#lx\n", status);
  }
  KeReleaseMutex(&u->presence_lock, FALSE);
  return status;
}

/* TRUE when this call took the interface away. */
static BOOLEAN disable_interface(struct unit *u) {
  BOOLEAN disabled;
  KeWaitForSingleObject(&u->presence_lock, Executive, KernelMode, FALSE, NULL);
  disabled = u->interface_enabled;
  if (u->interface_enabled) {
    if (u->links_made_here)
      remove_links_made_here(u);
    else
      IoSetDeviceInterfaceState(&u->interface_link, FALSE);
    u->interface_enabled = FALSE;
  }
  KeReleaseMutex(&u->presence_lock, FALSE);
  return disabled;
}

static void WINAPI replug_later(void *context) {
  struct unit *u = context;
  LARGE_INTEGER delay;
  delay.QuadPart = -10000LL * standin_model_replug_after_ms(u->number); /* relative, 100 ns */
  if (KeWaitForSingleObject(&u->removing, Executive, KernelMode, FALSE, &delay) == STATUS_TIMEOUT) {
    standin_model_replug(u->number);
    enable_interface(u);
  }
  PsTerminateSystemThread(STATUS_SUCCESS);
}

/* Waits for the replug thread, if there is one, and lets go of it. */
static void join_replug_thread(struct unit *u) {
  if (!u->replug_thread) return;
  ZwWaitForSingleObject(u->replug_thread, FALSE, NULL);
  ZwClose(u->replug_thread);
  u->replug_thread = NULL;
}

/* After every transfer: a model that has unplugged itself takes the interface with it. */
static void follow_the_model(struct unit *u) {
  OBJECT_ATTRIBUTES attributes;
  if (standin_model_plugged(u->number) || !disable_interface(u)) return;
  if (standin_model_replug_after_ms(u->number) < 0) return;
  join_replug_thread(u); /* an earlier replug has long ended: the device was plugged in */
  InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
  if (!NT_SUCCESS(PsCreateSystemThread(&u->replug_thread, THREAD_ALL_ACCESS, &attributes, NULL,
                                       NULL, replug_later, u))) {
    u->replug_thread = NULL;
  }
}

static NTSTATUS transfer_status(int result) {
  if (result == ZV_STANDIN_SILENT) return STATUS_IO_TIMEOUT;
  return result < 0 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS;
}

static BOOLEAN all_zero(const UCHAR *p, ULONG n) {
  ULONG i;
  for (i = 0; i < n; i++)
    if (p[i]) return FALSE;
  return TRUE;
}

/* The vendor request block (usbdevs_win_request.h): the header, then the data going out (at
 * least 20 bytes in all, padded with zeros) or four zero bytes for a request coming in. The
 * reply goes into the same system buffer (METHOD_BUFFERED): exactly the bytes the device gave
 * for an in request, none for an out. */
static NTSTATUS vendor_request(struct unit *u, UCHAR *block, ULONG in_size, ULONG out_size,
                               ULONG_PTR *returned) {
  usbdevs_vendor_request header;
  UCHAR *data = block + ZV_VENDOR_REQUEST_HEADER_BYTES;
  ULONG expected_size;
  int result;

  if (!block || in_size < ZV_VENDOR_REQUEST_MINIMUM_BYTES) return refused(u);
  RtlCopyMemory(&header, block, sizeof header); /* the reply overwrites the block */
  if (header.function != ZV_VENDOR_FUNCTION_DEVICE || header.reserved_bits != 0) return refused(u);
  if (!standin_model_plugged(u->number)) return STATUS_NO_SUCH_DEVICE; /* a handle held open */
  if (header.transfer_flags == ZV_VENDOR_DIRECTION_IN) {
    if (header.data_length != 0 || in_size != ZV_VENDOR_REQUEST_MINIMUM_BYTES ||
        out_size > 0xffff || !all_zero(data, sizeof header.data)) {
      return refused(u);
    }
    result = standin_model_transfer(u->number, 1, header.request, header.value, header.index, block,
                                    (USHORT)out_size);
  } else if (header.transfer_flags == ZV_VENDOR_DIRECTION_OUT) {
    expected_size = ZV_VENDOR_REQUEST_HEADER_BYTES + header.data_length;
    if (expected_size < ZV_VENDOR_REQUEST_MINIMUM_BYTES)
      expected_size = ZV_VENDOR_REQUEST_MINIMUM_BYTES;
    if (header.data_length == 0 || header.data_length > 0xffff || in_size != expected_size ||
        out_size != 0 ||
        !all_zero(data + header.data_length,
                  in_size - ZV_VENDOR_REQUEST_HEADER_BYTES - header.data_length)) {
      return refused(u);
    }
    result = standin_model_transfer(u->number, 0, header.request, header.value, header.index, data,
                                    (USHORT)header.data_length);
  } else {
    return refused(u);
  }
  follow_the_model(u);
  if (header.transfer_flags == ZV_VENDOR_DIRECTION_IN && result > 0) *returned = (ULONG_PTR)result;
  return transfer_status(result);
}

static NTSTATUS state_request(struct unit *u, UCHAR *buffer, ULONG out_size, ULONG_PTR *returned) {
  unsigned written;
  if (!buffer || out_size < sizeof(ULONG)) return STATUS_BUFFER_TOO_SMALL;
  *(ULONG *)buffer = (ULONG)u->refused_blocks;
  written = standin_model_state(u->number, buffer + sizeof(ULONG), out_size - (ULONG)sizeof(ULONG));
  if (!written) return STATUS_BUFFER_TOO_SMALL;
  *returned = sizeof(ULONG) + written;
  return STATUS_SUCCESS;
}

static NTSTATUS WINAPI dispatch_device_control(DEVICE_OBJECT *device, IRP *irp) {
  IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR *buffer = irp->AssociatedIrp.SystemBuffer;
  struct unit *u = unit_of(device);
  ULONG_PTR returned = 0;
  NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;

  if (u && device == u->control && code == ZV_IOCTL_VENDOR_REQUEST)
    status = vendor_request(u, buffer, in_size, out_size, &returned);
  else if (u && device == u->control && code == ZV_STANDIN_IOCTL_STATE)
    status = state_request(u, buffer, out_size, &returned);
  return complete(irp, status, returned);
}

/* Opens reach a control device through the channel's link or the host's name. Wine hands
 * the caller its handle before this runs, so a refusal here would not fail CreateFileW; an
 * unplugged device is refused by having no link at all. */
static NTSTATUS WINAPI dispatch_create_close(DEVICE_OBJECT *device, IRP *irp) {
  const struct unit *u = unit_of(device);
  return complete(irp, u && device == u->control ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_REQUEST,
                  0);
}

static void delete_device(struct unit *u) {
  UNICODE_STRING link;
  KeSetEvent(&u->removing, IO_NO_INCREMENT, FALSE);
  join_replug_thread(u);
  disable_interface(u);
  RtlInitUnicodeString(&link, u->control_link);
  if (u->control) IoDeleteSymbolicLink(&link);
  if (u->interface_directory) ZwClose(u->interface_directory);
  if (u->lower) IoDetachDevice(u->lower);
  if (u->control) IoDeleteDevice(u->control);
  if (u->fdo) IoDeleteDevice(u->fdo);
  if (u->interface_link.Buffer) RtlFreeUnicodeString(&u->interface_link);
  u->interface_link.Buffer = NULL;
  u->interface_directory = NULL;
  u->fdo = u->lower = u->pdo = u->control = NULL;
}

static NTSTATUS WINAPI dispatch_pnp(DEVICE_OBJECT *device, IRP *irp) {
  IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  struct unit *u = unit_of(device);
  NTSTATUS status;

  if (!u || device != u->fdo) return complete(irp, STATUS_NOT_SUPPORTED, 0);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      irp->IoStatus.Status = enable_interface(u);
      break;
    case IRP_MN_SURPRISE_REMOVAL:
      /* Gone without notice: no program may find the interface from now on. */
      KeSetEvent(&u->removing, IO_NO_INCREMENT, FALSE);
      join_replug_thread(u);
      disable_interface(u);
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    case IRP_MN_REMOVE_DEVICE: {
      DEVICE_OBJECT *below = u->lower;
      /* The interface goes, and the replug thread ends, before the removal goes down;
       * what the lower driver may still need stays until it has returned. */
      KeSetEvent(&u->removing, IO_NO_INCREMENT, FALSE);
      join_replug_thread(u);
      disable_interface(u);
      irp->IoStatus.Status = STATUS_SUCCESS;
      IoSkipCurrentIrpStackLocation(irp);
      status = IoCallDriver(below, irp);
      delete_device(u);
      return status;
    }
    default:
      break;
  }
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(u->lower, irp);
}

static NTSTATUS WINAPI dispatch_power(DEVICE_OBJECT *device, IRP *irp) {
  struct unit *u = unit_of(device);
  if (!u || device != u->fdo) return complete(irp, STATUS_NOT_SUPPORTED, 0);
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(u->lower, irp);
}

/* A device object whose extension points at `u`. */
static NTSTATUS create_device(DRIVER_OBJECT *driver, const WCHAR *name, struct unit *u,
                              DEVICE_OBJECT **out) {
  UNICODE_STRING text;
  NTSTATUS status;
  if (name) RtlInitUnicodeString(&text, name);
  status = IoCreateDevice(driver, sizeof u, name ? &text : NULL, FILE_DEVICE_UNKNOWN,
                          FILE_DEVICE_SECURE_OPEN, FALSE, out);
  if (NT_SUCCESS(status)) *(struct unit **)(*out)->DeviceExtension = u;
  return status;
}

static NTSTATUS WINAPI add_device(DRIVER_OBJECT *driver, DEVICE_OBJECT *device_pdo) {
  UNICODE_STRING name, link = {0, 0, NULL};
  struct unit probe, *u;
  struct path channel = {{0}, 0, FALSE};
  NTSTATUS status;
  int number;

  /* The interface's link names the device node, and with it the unit. */
  RtlInitUnicodeString(&name, reference_string);
  status = IoRegisterDeviceInterface(device_pdo, &zv_render_class, &name, &link);
  if (!NT_SUCCESS(status)) return status;
  probe.interface_link = link;
  number = instance_number(&probe);
  if (number < 0 || units[number].fdo) {
    RtlFreeUnicodeString(&link);
    return number < 0 ? STATUS_OBJECT_NAME_INVALID : STATUS_DEVICE_ALREADY_ATTACHED;
  }
  u = &units[number];
  u->number = number;
  u->interface_link = link;
  u->refused_blocks = 0;
  KeClearEvent(&u->removing);
  numbered_name(u->control_device, control_device_name, number);
  numbered_name(u->control_link, control_link_name, number);
  if (standin_model_start(number) != 0) {
    delete_device(u);
    return STATUS_UNSUCCESSFUL;
  }
  u->pdo = device_pdo;
  status = create_device(driver, NULL, u, &u->fdo);
  if (NT_SUCCESS(status)) {
    append(&channel, u->interface_link.Buffer, interface_base_units(u) + 1);
    append_text(&channel, channel_component);
    if (channel.overflow) status = STATUS_NAME_TOO_LONG;
  }
  if (NT_SUCCESS(status)) status = create_device(driver, u->control_device, u, &u->control);
  if (NT_SUCCESS(status)) status = make_link(u->control_link, u->control_device);
  if (!NT_SUCCESS(status)) {
    delete_device(u);
    return status;
  }
  RtlCopyMemory(u->channel_link, channel.text, sizeof channel.text);
  u->control->Flags |= DO_BUFFERED_IO;
  u->control->Flags &= ~DO_DEVICE_INITIALIZING;
  u->lower = IoAttachDeviceToDeviceStack(u->fdo, device_pdo);
  u->fdo->Flags |= DO_BUFFERED_IO;
  u->fdo->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void WINAPI driver_unload(DRIVER_OBJECT *driver) { (void)driver; }

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry) {
  int i;
  (void)registry;
  for (i = 0; i < ZV_STANDIN_MAX_UNITS; i++) {
    KeInitializeMutex(&units[i].presence_lock, 0);
    KeInitializeEvent(&units[i].removing, NotificationEvent, FALSE);
  }
  driver->DriverExtension->AddDevice = add_device;
  driver->DriverUnload = driver_unload;
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create_close;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_create_close;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_create_close;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  return STATUS_SUCCESS;
}
