#pragma once

#include <QString>

class QWidget;

// The application's message box: a warning with the given caption and an OK button, run modally.
// The text also goes to standard error with the time (see MessageLog.h). User-interface thread.
void showMessageBox(QWidget* parent, const QString& caption, const QString& text);
