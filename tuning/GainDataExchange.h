#pragma once

#include <QString>

class QLineEdit;
class QWidget;

// Moves the gain dialog's numbers between its members and its boxes. Shown: every number is
// written into its box. Saved: each box is read in turn; the first refusal prompts the operator,
// puts the focus in the refused box and ends the exchange, so later boxes are not read and a
// refused number never reaches its member.
class GainDataExchange {
public:
    GainDataExchange(QWidget& dialog, bool saveAndValidate);

    // A box that only displays: written when showing, never read.
    void display(QLineEdit& box, double value);
    // A number that must lie within minimum..maximum. False once the exchange has failed.
    bool exchange(QLineEdit& box, double& value, double minimum, double maximum);

    bool failed() const { return failed_; }

private:
    void refuse(QLineEdit& box, const QString& prompt);

    QWidget& dialog_;
    bool saveAndValidate_;
    bool failed_ = false;
};

// The prompts of a refused box.
inline constexpr const char* kEnterNumberPrompt = "Please enter a number.";
inline constexpr const char* kEnterNumberBetweenPrompt = "Please enter a number between %1 and %2.";
