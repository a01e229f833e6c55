#pragma once

#include <QString>

// The document of the single-document window. It holds no data: the system's state lives in the
// application object and the view. New, Open and Save only track which file the document stands
// for; nothing is ever read from a document file, and the document is never modified, so no command
// asks to save.
class COrvaneDoc {
public:
    // A new, untitled empty document.
    void onNewDocument();
    // Takes `path` as the document if it is an existing file that can be opened for reading; reads
    // nothing from it. False leaves the current document as it was.
    bool onOpenDocument(const QString& path);
    enum class SaveResult { saved, failed, fileHasContent };
    // Saves the empty document to `path` and takes it as the document's file. The document holds no
    // data, so it is written only to a new file or an empty one; a file with content is left exactly
    // as it is (fileHasContent), whatever the operator agreed to in a file chooser.
    SaveResult onSaveDocument(const QString& path);

    // The file the document stands for; empty for an untitled document.
    const QString& pathName() const { return pathName_; }
    bool isModified() const { return false; }

private:
    QString pathName_;
};
