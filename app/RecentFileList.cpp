#include "app/RecentFileList.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

constexpr const char* kSection = "Recent File List";

QString entryKey(int index) {
    return QStringLiteral("File%1").arg(index + 1);
}

QString absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

void RecentFileList::load() {
    entries_.clear();
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kSection);
    for (int i = 0; i < kMaxEntries; ++i) {
        const QString path = settings.value(entryKey(i)).toString();
        if (!path.isEmpty() && !entries_.contains(path)) entries_.append(path);
    }
    settings.endGroup();
}

void RecentFileList::save() const {
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kSection);
    for (int i = 0; i < kMaxEntries; ++i) {
        if (i < entries_.size()) {
            settings.setValue(entryKey(i), entries_[i]);
        } else {
            settings.remove(entryKey(i));
        }
    }
    settings.endGroup();
    settings.sync();
}

void RecentFileList::add(const QString& path) {
    if (path.isEmpty()) return;
    const QString full = absolute(path);
    entries_.removeAll(full);
    entries_.prepend(full);
    while (entries_.size() > kMaxEntries) entries_.removeLast();
}

void RecentFileList::remove(int index) {
    if (index >= 0 && index < entries_.size()) entries_.removeAt(index);
}

QString RecentFileList::menuText(int index) const {
    if (index < 0 || index >= entries_.size()) return {};
    const QFileInfo info(entries_[index]);
    QString shown = info.absolutePath() == QDir::current().absolutePath()
                        ? info.fileName()
                        : QDir::toNativeSeparators(entries_[index]);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}
