#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

class QLabel;
class QStatusBar;
class TelemetrySenders;

// The status bar's fields about whose telemetry is shown: the current sender's address (where an
// upload would go) and, once any arrived, the count of datagrams refused because they did not come
// from the pinned aircraft with the last refused address. Permanent fields at the right of the
// bar, so that other fields keep the rest of it. Refreshed from the receiver's atomics on a timer of
// the user-interface thread; nothing here waits for the receiver.
class SenderStatusFields : public QObject {
    Q_OBJECT
public:
    SenderStatusFields(const TelemetrySenders& senders, QStatusBar& bar);

    // Reads the senders now (the timer does so every kRefreshMs).
    void refresh();

    QLabel* senderField() const { return senderField_; }
    QLabel* refusedField() const { return refusedField_; }

    static constexpr int kRefreshMs = 250;

private:
    const TelemetrySenders& senders_;
    QLabel* senderField_;
    QLabel* refusedField_;
    QTimer refreshTimer_;
};

// The texts of the two fields.
QString senderFieldText(const TelemetrySenders& senders);
// Empty while nothing was refused.
QString refusedFieldText(const TelemetrySenders& senders);
// The same from a count and the last refused sender (packed), as a replay keeps them.
QString refusedFieldText(std::uint64_t refused, std::uint64_t lastRefused);
