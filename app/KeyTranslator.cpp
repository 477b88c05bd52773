#include "app/KeyTranslator.h"

#include <QCoreApplication>

QString KeyTranslator::translate(const char* context, const char* sourceText, const char* disambiguation,
                                 int n) const
{
    QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    if (text.isEmpty())
        text = QTranslator::translate(SharedContext, sourceText, disambiguation, n);
    return text;
}

QString KeyTranslator::text(const char* key)
{
    return QCoreApplication::translate(SharedContext, key);
}
