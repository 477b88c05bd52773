#pragma once

#include <QDir>
#include <QSet>
#include <QString>

// The program's pictures and style sheet beside the pages of one HTML export. The
// bubble frames, icons and style sheet go to "files/" at once; the emoji pictures, some
// fifteen hundred of which a history uses a few, only as a page first names them. A file
// the folder already holds is kept.
class HtmlAssets
{
public:
    explicit HtmlAssets(const QString& exportFolder);

    void copyPageFiles();
    // relativePath: a picture's path as the page names it ("emoji/1F600.png"). Paths that
    // would leave either folder are passed over.
    void use(const QString& relativePath);

private:
    QDir m_assets;
    QDir m_out;
    QSet<QString> m_used;
};
