#pragma once

#include "db/ViberDataSet.h"

#include <QColor>
#include <QDateTime>
#include <QString>

// Builds small data sets by hand for tests of everything that consumes records.
class DataSetBuilder
{
public:
    DataSetBuilder() : m_set(std::make_shared<ViberDataSet>()) {}

    ViberDataSetPtr dataSet() const { return m_set; }
    ViberDataSet& set() { return *m_set; }

    _ViberPerson* person(qint64 id, const QString& number, const QString& name = QString());
    _ViberChat* chat(qint64 id, const QList<_ViberPerson*>& participants, const QString& name = QString(),
                     const QString& groupId = QString());
    // A message at a local date-time; status received unless outgoing.
    _ViberMsg* message(_ViberChat* chat, int type, const QDateTime& when, const QString& text = QString(),
                       bool outgoing = false, _ViberPerson* sender = nullptr);
    _ViberAtta* attach(_ViberMsg* msg, const QString& localPath = QString(),
                       const QString& previewPath = QString(), const QString& fileName = QString());
    _ViberMsg* callMessage(_ViberChat* chat, _ViberPerson* person, int kind, int duration,
                           const QDateTime& when);

    static double ref(const QDateTime& when); // seconds since 2001-01-01 UTC
    // Writes a picture file (format from the suffix) of the given size.
    static bool writeImage(const QString& path, int width, int height,
                           const QColor& colour = QColor(0, 128, 128));
    static bool writeFile(const QString& path, const QByteArray& content);

private:
    ViberDataSetPtr m_set;
    qint64 m_nextMessage = 1;
    qint64 m_nextAttachment = 1;
    qint64 m_nextCall = 1;
};
