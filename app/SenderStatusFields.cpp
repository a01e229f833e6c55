#include "app/SenderStatusFields.h"

#include <QLabel>
#include <QStatusBar>

#include "net/TelemetrySenders.h"

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QString senderFieldText(const TelemetrySenders& senders) {
    const std::optional<AircraftAddress> aircraft = senders.pinned();
    // A sender taken before the address was pinned is not the aircraft's.
    const std::optional<sockaddr_in> sender = senders.uploadDestination();
    if (!sender) {
        return aircraft ? QStringLiteral("Aircraft %1 (pinned): not heard yet").arg(text(aircraft->text()))
                        : QStringLiteral("Aircraft: not heard yet");
    }
    return QStringLiteral("Aircraft %1%2")
        .arg(text(formatSender(*sender)), aircraft ? QStringLiteral(" (pinned)") : QString());
}

QString refusedFieldText(const TelemetrySenders& senders) {
    const std::optional<sockaddr_in> last = senders.lastRefused();
    return refusedFieldText(senders.refusedDatagrams(), last ? packSender(*last) : kNoSender);
}

QString refusedFieldText(std::uint64_t refused, std::uint64_t lastRefused) {
    const sockaddr_in last = unpackSender(lastRefused);
    if (refused == 0 || last.sin_family != AF_INET) return {};
    return QStringLiteral("Refused %1 datagrams from other senders, last %2")
        .arg(QString::number(refused), text(formatSender(last)));
}

SenderStatusFields::SenderStatusFields(const TelemetrySenders& senders, QStatusBar& bar)
    : QObject(&bar), senders_(senders), senderField_(new QLabel(&bar)), refusedField_(new QLabel(&bar)) {
    senderField_->setObjectName(QStringLiteral("aircraftSender"));
    refusedField_->setObjectName(QStringLiteral("refusedSenders"));
    // Red: datagrams are arriving from someone who is not the aircraft.
    refusedField_->setStyleSheet(QStringLiteral("color: #c00000;"));
    bar.addPermanentWidget(refusedField_);
    bar.addPermanentWidget(senderField_);
    connect(&refreshTimer_, &QTimer::timeout, this, &SenderStatusFields::refresh);
    refreshTimer_.start(kRefreshMs);
    refresh();
}

void SenderStatusFields::refresh() {
    const QString sender = senderFieldText(senders_);
    if (senderField_->text() != sender) senderField_->setText(sender);
    const QString refused = refusedFieldText(senders_);
    if (refusedField_->text() != refused) refusedField_->setText(refused);
    refusedField_->setVisible(!refused.isEmpty());
}
