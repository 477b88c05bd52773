#pragma once

#include <QString>

#include <functional>

// Files that a source makes only when they are first needed: the media of an encrypted
// iPhone backup are decrypted when one is opened, extracted, exported, copied into a
// local database or sent to a phone, not all at load. The object that can make them
// registers their folder for as long as it lives; whoever is about to read a media path
// calls prepare() first. Paths outside registered folders are left alone.
class OnDemandFiles
{
public:
    // Makes the file at the given path (in the registered folder); throws
    // std::runtime_error with a text for the log when it cannot.
    using Maker = std::function<void(const QString& path)>;

    // Registers a folder while it lives. Declared after everything the maker uses, it
    // goes first, and no file of the folder is being made once it is gone.
    class Registration
    {
    public:
        Registration(const QString& folder, Maker maker);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

    private:
        QString m_folder;
    };

    // Makes the file at path if a registered folder makes it and it is not there yet. A
    // file that cannot be made stays missing, as a media file the source lacks does;
    // the reason goes to the log. Returns whether the path lies in a registered folder,
    // whose listing, taken earlier, may lack it.
    static bool prepare(const QString& path);
};
