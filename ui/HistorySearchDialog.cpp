#include "ui/HistorySearchDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

enum Column { Database, Chat, Sender, Date, Message, ColumnCount };

// A hit's text on one line, short enough for a row.
QString oneLine(const QString& text)
{
    constexpr int MaxShown = 300;
    QString line = text.simplified();
    if (line.size() > MaxShown)
        line = line.left(MaxShown) + QChar(0x2026);
    return line;
}

} // namespace

HistorySearchDialog::HistorySearchDialog(QWidget* parent)
    : QDialog(parent), m_field(new QLineEdit(this)), m_status(new QLabel(this)), m_list(new QTreeWidget(this))
{
    setWindowTitle(tr("IDS_SEARCH_HISTORIES_TITLE"));
    m_field->setObjectName(QStringLiteral("txtHistorySearch"));
    m_field->setPlaceholderText(tr("IDS_SEARCH_HISTORIES_PLACEHOLDER"));
    m_field->setClearButtonEnabled(true);
    m_status->setObjectName(QStringLiteral("lbHistorySearchStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_list->setObjectName(QStringLiteral("lstHistoryHits"));
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({tr("IDS_SEARCH_COLUMN_DATABASE"), tr("IDS_SEARCH_COLUMN_CHAT"),
                             tr("IDS_SEARCH_COLUMN_SENDER"), tr("IDS_SEARCH_COLUMN_DATE"),
                             tr("IDS_SEARCH_COLUMN_MESSAGE")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->header()->setStretchLastSection(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_field);
    layout->addWidget(m_status);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(900, 500);

    connect(m_field, &QLineEdit::returnPressed, this, &HistorySearchDialog::search);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { choose(item); });
    connect(&m_watcher, &QFutureWatcher<LocalHistorySearch::Result>::finished, this,
            &HistorySearchDialog::showResults);
}

HistorySearchDialog::~HistorySearchDialog()
{
    m_watcher.waitForFinished();
}

void HistorySearchDialog::search()
{
    const QString text = m_field->text().trimmed();
    if (isSearching() || LocalHistorySearch::wordsOf(text).isEmpty())
        return;
    SearchIndex::Query query;
    query.words = text;
    query.limit = 200;
    m_words = LocalHistorySearch::wordsOf(text);
    m_field->setEnabled(false);
    m_status->setText(tr("IDS_SEARCHING"));
    m_watcher.setFuture(QtConcurrent::run([query] { return LocalHistorySearch::search(query); }));
}

void HistorySearchDialog::showResults()
{
    const LocalHistorySearch::Result result = m_watcher.result();
    m_field->setEnabled(true);
    m_field->setFocus();
    m_hits = result.hits;
    m_list->clear();
    for (qsizetype i = 0; i < m_hits.size(); ++i) {
        const SearchIndex::Hit& hit = m_hits.at(i).hit;
        auto* item = new QTreeWidgetItem(m_list);
        item->setData(0, Qt::UserRole, qlonglong(i));
        item->setText(Database, m_hits.at(i).database);
        item->setText(Chat, hit.chat);
        item->setText(Sender, hit.outgoing ? tr("IDS_SEARCH_SENDER_ME") : hit.sender);
        item->setText(Date, QLocale().toString(hit.time.toLocalTime(), QLocale::ShortFormat));
        // The words found in bold: the text is made rich from plain on purpose, escaped
        // first, so that nothing in a message can become markup.
        auto* label = new QLabel(highlighted(oneLine(hit.text)), m_list);
        label->setTextFormat(Qt::RichText);
        label->setObjectName(QStringLiteral("lbHitText"));
        m_list->setItemWidget(item, Message, label);
    }
    for (int column = 0; column < Message; ++column)
        m_list->resizeColumnToContents(column);
    QString status = tr("IDS_SEARCH_FOUND_%1").arg(m_hits.size());
    if (!result.problems.isEmpty())
        status += QLatin1Char(' ') +
                  tr("IDS_SEARCH_NOT_SEARCHED_%1").arg(result.problems.join(QStringLiteral("; ")));
    m_status->setText(status);
    emit searchFinished();
}

QString HistorySearchDialog::highlighted(const QString& text) const
{
    QString html = text.toHtmlEscaped();
    for (const QString& word : m_words) {
        const QString escaped = word.toHtmlEscaped();
        if (escaped.isEmpty())
            continue;
        html.replace(
            QRegularExpression(QLatin1Char('(') + QRegularExpression::escape(escaped) + QLatin1Char(')'),
                               QRegularExpression::CaseInsensitiveOption),
            QStringLiteral("<b>\\1</b>"));
    }
    return html;
}

void HistorySearchDialog::choose(QTreeWidgetItem* item)
{
    const qsizetype index = item ? item->data(0, Qt::UserRole).toLongLong() : -1;
    if (index < 0 || index >= m_hits.size())
        return;
    m_chosen = m_hits.at(index);
    accept();
}
