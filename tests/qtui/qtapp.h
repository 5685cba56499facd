// The one QApplication of the test program, made on first use so that a
// test can also run in a process that has none.
#pragma once

class QApplication;

QApplication& qtApp();
