// Warnings end a window test at once, as QT_FATAL_WARNINGS=1 does, bar the few listed in
// fatal_warnings.cpp with their reasons. Call from initTestCase(), after Qt Test has put its
// own message handler in place (the message still reaches it, so it is printed).
#ifndef TESTS_GUI_FATAL_WARNINGS_H
#define TESTS_GUI_FATAL_WARNINGS_H

void make_warnings_fatal();

#endif
