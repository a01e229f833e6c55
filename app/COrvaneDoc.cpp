#include "app/COrvaneDoc.h"

#include <QFile>
#include <QFileInfo>

void COrvaneDoc::onNewDocument() {
    pathName_.clear();
}

bool COrvaneDoc::onOpenDocument(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    pathName_ = info.absoluteFilePath();
    return true;
}

bool COrvaneDoc::onSaveDocument(const QString& path, bool replace) {
    if (path.isEmpty()) return false;
    QFile file(path);
    // Append never truncates: saving an opened file must not destroy what it holds.
    const QIODevice::OpenMode mode =
        replace ? (QIODevice::WriteOnly | QIODevice::Truncate) : (QIODevice::WriteOnly | QIODevice::Append);
    if (!file.open(mode)) return false;
    file.close();
    if (file.error() != QFileDevice::NoError) return false;
    pathName_ = QFileInfo(path).absoluteFilePath();
    return true;
}
