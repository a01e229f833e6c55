#pragma once

#include <QString>
#include <QStringList>

// The most-recently-used document files, newest first, kept in the application's settings profile
// (group "Recent File List", keys "File1".."File4"). User-interface thread only.
class RecentFileList {
public:
    static constexpr int kMaxEntries = 4;

    // Reads the list from the profile; empty, missing or duplicate entries are skipped.
    void load();
    // Writes the list to the profile, removing keys of entries that no longer exist.
    void save() const;

    // Puts `path` (made absolute) first; an entry for the same file moves up rather than repeating,
    // and the oldest entry falls off beyond the maximum.
    void add(const QString& path);
    void remove(int index);

    const QStringList& entries() const { return entries_; }

    // The menu text of entry `index`: "&1 name", with the path shortened to the file name when the
    // file lies in the current directory, and ampersands doubled so they show as written.
    QString menuText(int index) const;

private:
    QStringList entries_;
};

// Where the profile lives: organisation and application name of the settings.
inline constexpr const char* kRegistryKey = "Local AppWizard-Generated Applications";
inline constexpr const char* kProfileName = "Orvane";
