# The one place where the firmware generations of the build are named.
#
# The embedded image (res/update.bin) is generated with the ZV_IMAGE_* fields; the virtual
# ZV-16x16 starts out running the older ZV_SIM_START_* firmware, so that the demo and the
# tests see an update that the updater accepts.

set(ZV_PRODUCT "ZV-16x16")

set(ZV_IMAGE_VERSION 106)        # shown as 1.06
set(ZV_IMAGE_BUILD 2318)
set(ZV_IMAGE_DATE "2026-11-20")
set(ZV_IMAGE_SIZE 606240)
set(ZV_IMAGE_SEED 1016)          # seed of the deterministic payload generator
math(EXPR major "${ZV_IMAGE_VERSION} / 100")
math(EXPR minor "${ZV_IMAGE_VERSION} % 100 + 100")  # two digits, from the last two of 1xx
string(SUBSTRING ${minor} 1 2 minor)
set(ZV_IMAGE_VERSION_TEXT ${major}.${minor})  # as the window shows it

set(ZV_SIM_START_VERSION 105)    # shown as 1.05
set(ZV_SIM_START_BUILD 2204)

set(ZV_FIRMWARE_IMAGE "" CACHE FILEPATH
    "Vendor image file to embed instead of the generated res/update.bin")
