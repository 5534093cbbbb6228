// The updater's application id (lower-case reverse DNS): its desktop file, its metainfo, its
// icon names and QGuiApplication::desktopFileName. The build reads this file to name the
// files it writes: keep the #define line in this form.
#ifndef APP_ZV_APP_ID_H
#define APP_ZV_APP_ID_H

#define ZV_APP_ID "org.zv16x16.firmwareupdater"

#endif
