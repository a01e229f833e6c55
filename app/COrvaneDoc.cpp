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

COrvaneDoc::SaveResult COrvaneDoc::onSaveDocument(const QString& path) {
    if (path.isEmpty()) return SaveResult::failed;
    QFile file(path);
    // Opened without truncation and checked through the open file, so a file that gains content
    // between a look at its size and the write is not emptied either.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return SaveResult::failed;
    if (file.size() > 0) return SaveResult::fileHasContent;
    file.close();
    if (file.error() != QFileDevice::NoError) return SaveResult::failed;
    pathName_ = QFileInfo(path).absoluteFilePath();
    return SaveResult::saved;
}
