#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;

// "Aircraft Address": the operator fixes the address (and, if wanted, the port) from which
// telemetry is taken, or empties the box to take it from any sender. OK hands the text to `apply`,
// which returns why it was refused (the dialog then stays open with the reason shown and nothing
// changes) or an empty text (the dialog closes). User-interface thread only.
class CAircraftAddressDlg : public QDialog {
    Q_OBJECT
public:
    using Apply = std::function<QString(const QString& text)>;

    CAircraftAddressDlg(const QString& currentText, Apply apply, QWidget* parent);

    QLineEdit* addressBox() const { return addressBox_; }
    QLabel* errorLabel() const { return errorLabel_; }

    void accept() override;

private:
    Apply apply_;
    QLineEdit* addressBox_;
    QLabel* errorLabel_;
};
