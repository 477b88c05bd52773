#pragma once

#include <QString>

// Owner, group, mode and SELinux context of the files of a simulated phone, which the
// host's file system cannot hold for a user who is not root. Only what a root command
// set is recorded (in "<device folder>/attributes.tsv"); every other file has what
// Android gives the files of its place: Viber's private files belong to the app's user
// and carry the app's categories, so a file root makes there is one the app cannot open
// until it gets the same.
class SimFileAttributes
{
public:
    struct Attributes
    {
        int uid = 0;
        int gid = 0;
        int mode = 0600;
        QString context;

        bool operator==(const Attributes&) const = default;
    };

    static constexpr int ViberUid = 10123;
    static constexpr auto ViberContext = "u:object_r:app_data_file:s0:c123,c256,c512,c768";

    explicit SimFileAttributes(const QString& deviceFolder);

    Attributes of(const QString& phonePath) const;
    // What a file that root creates at phonePath gets.
    static Attributes createdByRoot(const QString& phonePath);
    void set(const QString& phonePath, const Attributes& attributes);
    void forget(const QString& phonePath);
    // A rename: the file keeps its own attributes, nothing of the one it replaces.
    void move(const QString& from, const QString& to);

private:
    static Attributes placeDefault(const QString& phonePath);
    QString m_file;
};
