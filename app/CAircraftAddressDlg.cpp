#include "app/CAircraftAddressDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <utility>

#include "common/DialogUnits.h"

CAircraftAddressDlg::CAircraftAddressDlg(const QString& currentText, Apply apply, QWidget* parent)
    : QDialog(parent),
      apply_(std::move(apply)),
      addressBox_(new QLineEdit(currentText, this)),
      errorLabel_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Aircraft Address"));
    setFont(dialog_units::dialogFont());
    auto* prompt =
        new QLabel(QStringLiteral("Take telemetry only from the aircraft at ADDRESS or ADDRESS:PORT.\n"
                                  "Leave empty to take it from any sender."),
                   this);
    prompt->setBuddy(addressBox_);
    addressBox_->setObjectName(QStringLiteral("address"));
    addressBox_->setPlaceholderText(QStringLiteral("any sender"));
    addressBox_->setMinimumWidth(280);
    errorLabel_->setObjectName(QStringLiteral("error"));
    errorLabel_->setStyleSheet(QStringLiteral("color: #c00000;"));
    errorLabel_->setWordWrap(true);
    errorLabel_->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAircraftAddressDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(addressBox_);
    layout->addWidget(errorLabel_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAircraftAddressDlg::accept() {
    const QString refused = apply_ ? apply_(addressBox_->text().trimmed()) : QString();
    if (!refused.isEmpty()) {
        errorLabel_->setText(refused);
        errorLabel_->show();
        addressBox_->setFocus();
        addressBox_->selectAll();
        return;
    }
    QDialog::accept();
}
