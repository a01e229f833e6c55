#include "app/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/AppIcon.h"
#include "common/DialogUnits.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Orvane"));
    setFont(dialog_units::dialogFont());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(paintApplicationIcon(32));
    icon->setAlignment(Qt::AlignTop);

    auto* version = new QLabel(QStringLiteral("Orvane Version 1.0"), this);
    auto* company = new QLabel(QStringLiteral("Kestrix Technology Inc."), this);
    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(company);
    texts->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    top->addWidget(buttons, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
