#include "app/KeyTranslator.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "tests/support/DataSetBuilder.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MyListView.h"
#include "ui/MyTreeView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLocale>
#include <QPixmap>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using _ItemNode = AbsTreeItemModel::_ItemNode;

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 30));

QImage argb(const QVariant& decoration)
{
    return decoration.value<QPixmap>().toImage().convertToFormat(QImage::Format_ARGB32);
}

// What a resource picture looks like as an icon of the given width.
QImage resourceIcon(const QString& path)
{
    return QImage(path).scaledToWidth(18, Qt::FastTransformation).convertToFormat(QImage::Format_ARGB32);
}

AndroidDevice device(const QString& serial, const QString& model)
{
    AndroidDevice d;
    d.serial = serial;
    d.manufacturer = QStringLiteral("Acme");
    d.model = model;
    return d;
}

// A source holding `count` chats, each with one participant and one message.
ViberDataSetPtr chatsSet(int count)
{
    DataSetBuilder b;
    for (int i = 1; i <= count; ++i) {
        _ViberPerson* p = b.person(i, QStringLiteral("+49170%1").arg(i), QStringLiteral("P%1").arg(i));
        b.message(b.chat(i, {p}), ViberMsgType::Text, Day1.addDays(i), QStringLiteral("m%1").arg(i));
    }
    return b.dataSet();
}

QStringList childTexts(const ItemModelMain& model, const _ItemNode* node)
{
    QStringList texts;
    const QModelIndex parent = model.nodeIndex(node);
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts << model.index(row, 0, parent).data().toString();
    return texts;
}

} // namespace

class TestItemModels : public QObject
{
    Q_OBJECT

    KeyTranslator m_translator;

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        // Every icon must be there and tell itself apart, or the icon checks prove nothing.
        QVERIFY(!resourceIcon(QStringLiteral(":res/contact.png")).isNull());
        QVERIFY(resourceIcon(QStringLiteral(":res/contact.png")) !=
                resourceIcon(QStringLiteral(":res/group.png")));
        QVERIFY(resourceIcon(QStringLiteral(":/res/icon_sms-sent.png")) !=
                resourceIcon(QStringLiteral(":/res/icon_sms-receive.png")));
    }

    void rootsAndSourceNodes()
    {
        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 1);
        QCOMPARE(model.topLevelNodes(), (QList<_ItemNode*>{model.rootDevice(), model.rootLocalDb()}));
        QCOMPARE(model.rootDevice()->type, int(AbsTreeItemModel::NodeRootDevice));
        QCOMPARE(model.rootLocalDb()->type, int(AbsTreeItemModel::NodeRootLocalDb));
        const QModelIndex devices = model.index(0, 0);
        const QModelIndex locals = model.index(1, 0);
        QCOMPARE(devices.data().toString(), QStringLiteral("Devices"));
        QCOMPARE(locals.data(Qt::ToolTipRole).toString(), QStringLiteral("Local Databases"));
        QCOMPARE(argb(devices.data(Qt::DecorationRole)), resourceIcon(QStringLiteral(":res/devices.png")));
        QCOMPARE(argb(locals.data(Qt::DecorationRole)), resourceIcon(QStringLiteral(":res/databases.png")));
        QCOMPARE(devices.data(Qt::SizeHintRole).toSize(), QSize(0, 25));
        QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        _AndroidDeviceItemNode* phone =
            model.addAndroidDevice(device(QStringLiteral("SER1"), QStringLiteral("X1")));
        _LocalDbItemNode* first = model.addLocalDb(QStringLiteral("Backup"));
        _LocalDbItemNode* second = model.addLocalDb(QStringLiteral("older"));
        QCOMPARE(inserted.size(), 3);
        QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), devices);
        QCOMPARE(inserted.at(2).at(0).value<QModelIndex>(), locals);
        QCOMPARE(inserted.at(2).at(1).toInt(), 1);
        QCOMPARE(inserted.at(2).at(2).toInt(), 1);

        QCOMPARE(phone->text, QStringLiteral("Acme X1"));
        QCOMPARE(phone->device.serial, QStringLiteral("SER1"));
        QCOMPARE(phone->parent, model.rootDevice());
        QCOMPARE(model.deviceNodes(), QList<_AndroidDeviceItemNode*>{phone});
        QCOMPARE(model.localDbNodes(), (QList<_LocalDbItemNode*>{first, second}));
        const QModelIndex phoneIndex = model.nodeIndex(phone);
        QCOMPARE(model.nodeFromIndex(phoneIndex), phone);
        QCOMPARE(argb(phoneIndex.data(Qt::DecorationRole)), resourceIcon(QStringLiteral(":res/android.png")));
        QCOMPARE(argb(model.nodeIndex(second).data(Qt::DecorationRole)),
                 resourceIcon(QStringLiteral(":res/database.png")));

        QCOMPARE(model.findLocalDb(QStringLiteral("older")), second);
        QCOMPARE(model.findLocalDb(QStringLiteral("OLDER")), nullptr);
        QCOMPARE(model.findLocalDb(QStringLiteral("OLDER"), Qt::CaseInsensitive), second);
        QCOMPARE(model.findLocalDb(QStringLiteral("missing"), Qt::CaseInsensitive), nullptr);

        QCOMPARE(model.nodeFromIndex(QModelIndex()), nullptr);
        QVERIFY(!model.nodeIndex(nullptr).isValid());
        QStandardItemModel other(1, 1);
        QCOMPARE(model.nodeFromIndex(other.index(0, 0)), nullptr);
    }

    // A removed node above another must leave the other's row, its children's parent and
    // the views' persistent indexes right.
    void removingANodeAboveAnother()
    {
        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<_AndroidDeviceItemNode*> phones;
        for (int i = 0; i < 3; ++i) {
            phones << model.addAndroidDevice(
                device(QStringLiteral("S%1").arg(i), QStringLiteral("M%1").arg(i)));
            phones.last()->data = chatsSet(2 + i);
            model.loadChats(phones.last());
        }
        // The views see the rows through their indexes, which the model must keep, not cache.
        model.index(0, 0, model.nodeIndex(phones[2]));
        const QPersistentModelIndex lastPhone(model.nodeIndex(phones[2]));
        const QPersistentModelIndex lastChat(model.index(3, 0, lastPhone));
        _ItemNode* lastChatNode = model.nodeFromIndex(lastChat);

        QSignalSpy removing(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        model.removeNode(phones[0]);
        // Children first, then the node itself.
        QCOMPARE(removing.size(), 2);
        QCOMPARE(removing.at(0).at(1).toInt(), 0);
        QCOMPARE(removing.at(0).at(2).toInt(), 1);
        QCOMPARE(removing.at(1).at(0).value<QModelIndex>(), model.nodeIndex(model.rootDevice()));
        QCOMPARE(removing.at(1).at(1).toInt(), 0);
        QCOMPARE(removing.at(1).at(2).toInt(), 0);

        QCOMPARE(model.deviceNodes(), (QList<_AndroidDeviceItemNode*>{phones[1], phones[2]}));
        QCOMPARE(model.rowCount(model.nodeIndex(model.rootDevice())), 2);
        QCOMPARE(model.nodeIndex(phones[2]).row(), 1);
        QCOMPARE(lastPhone.row(), 1);
        QCOMPARE(model.nodeFromIndex(lastPhone), phones[2]);
        QCOMPARE(lastChat.row(), 3);
        QCOMPARE(model.nodeFromIndex(lastChat), lastChatNode);
        const QModelIndex chatParent = model.parent(lastChat);
        QCOMPARE(chatParent.row(), 1);
        QCOMPARE(model.nodeFromIndex(chatParent), phones[2]);
        QCOMPARE(model.index(chatParent.row(), 0, chatParent.parent()), chatParent);

        // A chat in the middle: the ones below move up by one.
        _ItemNode* secondChat = phones[2]->child(1);
        _ItemNode* thirdChat = phones[2]->child(2);
        model.removeNode(secondChat);
        QCOMPARE(phones[2]->childCount(), 3);
        QCOMPARE(model.nodeIndex(thirdChat).row(), 1);
        QCOMPARE(lastChat.row(), 2);
        QCOMPARE(model.parent(model.nodeIndex(thirdChat)), model.nodeIndex(phones[2]));

        // Removing everything under the device root leaves the local root where it was.
        model.removeChildren(model.rootDevice());
        QVERIFY(model.deviceNodes().isEmpty());
        QVERIFY(!lastPhone.isValid());
        QVERIFY(!lastChat.isValid());
        QCOMPARE(model.nodeIndex(model.rootLocalDb()).row(), 1);
        model.removeNode(nullptr);
        QCOMPARE(model.rowCount(), 2);

        // The roots stay: the model hands out pointers to them.
        model.addLocalDb(QStringLiteral("db"));
        model.removeNode(model.rootDevice());
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.localDbNodes().size(), 1);
        model.removeChildren(nullptr);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.nodeIndex(model.rootLocalDb()).row(), 1);
        QVERIFY(model.localDbNodes().isEmpty());
        QVERIFY(model.addAndroidDevice(device(QStringLiteral("N"), QStringLiteral("N"))) != nullptr);
        QCOMPARE(model.rowCount(model.nodeIndex(model.rootDevice())), 1);
    }

    void collectNodesDepthFirst()
    {
        ItemModelMain model;
        _LocalDbItemNode* db = model.addLocalDb(QStringLiteral("db"));
        db->data = chatsSet(2);
        model.loadChats(db);
        QList<_ItemNode*> all;
        AbsTreeItemModel::collectNodes(model.topLevelNodes(), all);
        QCOMPARE(all, (QList<_ItemNode*>{model.rootDevice(), model.rootLocalDb(), db, db->child(0),
                                         db->child(1)}));

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.refreshNode(db);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.at(1).at(0).value<QModelIndex>(), model.nodeIndex(db->child(0)));
        QCOMPARE(changed.at(1).at(1).value<QModelIndex>(), model.nodeIndex(db->child(1)));
    }

    void loadChatsNewestFirst()
    {
        DataSetBuilder b;
        _ViberPerson* zed = b.person(1, QStringLiteral("+49300"), QStringLiteral("Zed"));
        _ViberPerson* anon = b.person(2, QStringLiteral("+49200"));
        _ViberPerson* amy = b.person(3, QStringLiteral("+49100"), QStringLiteral("Amy"));
        _ViberChat* old = b.chat(5, {zed}, QStringLiteral("  Old friend  "));
        _ViberChat* tieHigh = b.chat(9, {anon, zed, amy});
        _ViberChat* tieLow = b.chat(7, {amy}, QStringLiteral("Amy"));
        _ViberChat* newest = b.chat(3, {}, QStringLiteral("Climbers"), QStringLiteral("778"));
        old->date = 100;
        tieHigh->date = 500;
        tieLow->date = 500;
        newest->date = 900;

        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        _LocalDbItemNode* db = model.addLocalDb(QStringLiteral("db"));
        db->data = b.dataSet();
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.loadChats(db);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(2).toInt(), 3);

        // Equal dates go by id, so a reload shows the same order.
        QCOMPARE(childTexts(model, db),
                 (QStringList{QStringLiteral("Climbers"), QStringLiteral("Amy"),
                              QStringLiteral("Amy, +49200, Zed"), QStringLiteral("Old friend")}));
        const auto* top = static_cast<_ChatSessionItemNode*>(db->child(0));
        QCOMPARE(top->type, int(AbsTreeItemModel::NodeChat));
        QCOMPARE(top->chat, newest);
        QCOMPARE(static_cast<_ChatSessionItemNode*>(db->child(1))->chat, tieLow);
        QCOMPARE(model.index(0, 0, model.nodeIndex(db)).data(Qt::SizeHintRole).toSize(), QSize(0, 25));

        // Loading again replaces the chat nodes instead of adding a second set.
        model.loadChats(db);
        QCOMPARE(db->childCount(), 4);
    }

    void emptySourcesHaveNoChats()
    {
        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        _LocalDbItemNode* unloaded = model.addLocalDb(QStringLiteral("unloaded"));
        _AndroidDeviceItemNode* empty =
            model.addAndroidDevice(device(QStringLiteral("E"), QStringLiteral("E")));
        empty->data = std::make_shared<ViberDataSet>();
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.loadChats(unloaded);
        model.loadChats(empty);
        model.loadChats(nullptr);
        QCOMPARE(inserted.size(), 0);
        QCOMPARE(model.rowCount(model.nodeIndex(unloaded)), 0);
        QCOMPARE(model.rowCount(model.nodeIndex(empty)), 0);
    }

    void chatIcons()
    {
        QTemporaryDir dir;
        // Photos are read as JPEG first, then PNG, whatever the name says.
        const QString pngNamedJpg = dir.filePath(QStringLiteral("photo-png.jpg"));
        const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
        const QString notAPicture = dir.filePath(QStringLiteral("broken.jpg"));
        QVERIFY(
            DataSetBuilder::writeImage(dir.filePath(QStringLiteral("photo.png")), 36, 18, QColor(255, 0, 0)));
        QVERIFY(QFile::rename(dir.filePath(QStringLiteral("photo.png")), pngNamedJpg));
        QVERIFY(DataSetBuilder::writeImage(jpeg, 36, 36, QColor(0, 0, 255)));
        QVERIFY(DataSetBuilder::writeFile(notAPicture, "not a picture at all"));

        DataSetBuilder b;
        auto onePerson = [&](qint64 id, const QString& photo) {
            _ViberPerson* p = b.person(id, QStringLiteral("+4%1").arg(id));
            p->photoPath = photo;
            _ViberChat* c = b.chat(id, {p}, QStringLiteral("c%1").arg(id));
            c->date = 1000 - id;
            return c;
        };
        onePerson(1, pngNamedJpg);
        onePerson(2, jpeg);
        onePerson(3, QString());
        onePerson(4, notAPicture);
        onePerson(5, dir.filePath(QStringLiteral("missing.jpg")));
        b.chat(6, {}, QStringLiteral("c6"))->date = 994;
        _ViberChat* pair =
            b.chat(7, {b.person(71, QStringLiteral("+71")), b.person(72, QStringLiteral("+72"))});
        pair->date = 993;

        ItemModelMain model;
        _LocalDbItemNode* db = model.addLocalDb(QStringLiteral("db"));
        db->data = b.dataSet();
        model.loadChats(db);
        const QModelIndex parent = model.nodeIndex(db);
        auto icon = [&](int row) { return argb(model.index(row, 0, parent).data(Qt::DecorationRole)); };

        QCOMPARE(icon(0).size(), QSize(18, 9));
        QCOMPARE(icon(0).pixelColor(9, 4), QColor(255, 0, 0));
        QCOMPARE(icon(1).width(), 18);
        QVERIFY(qAbs(icon(1).pixelColor(9, 9).blue() - 255) < 8);
        const QImage contact = resourceIcon(QStringLiteral(":res/contact.png"));
        const QImage group = resourceIcon(QStringLiteral(":res/group.png"));
        QCOMPARE(icon(2), contact);
        QCOMPARE(icon(3), contact);
        QCOMPARE(icon(4), contact);
        QCOMPARE(icon(5), group);
        QCOMPARE(icon(6), group);
    }

    // A strip-shaped photo must not scale into a huge picture.
    void tallPhotoStaysSmall()
    {
        QTemporaryDir dir;
        const QString strip = dir.filePath(QStringLiteral("strip.png"));
        QVERIFY(DataSetBuilder::writeImage(strip, 2, 20000));
        DataSetBuilder b;
        _ViberPerson* p = b.person(1, QStringLiteral("+1"));
        p->photoPath = strip;
        b.chat(1, {p});
        ItemModelMain model;
        _LocalDbItemNode* db = model.addLocalDb(QStringLiteral("db"));
        db->data = b.dataSet();
        model.loadChats(db);
        const QImage icon = argb(model.index(0, 0, model.nodeIndex(db)).data(Qt::DecorationRole));
        QCOMPARE(icon.width(), 18);
        QVERIFY(icon.height() <= 18 * 4);
    }

    void messageListTexts()
    {
        DataSetBuilder b;
        _ViberPerson* ann = b.person(1, QStringLiteral("+4911"), QStringLiteral("Ann"));
        _ViberPerson* bob = b.person(2, QStringLiteral("+4922"), QStringLiteral("Bob"));
        _ViberPerson* noName = b.person(3, QStringLiteral("+4933"));
        _ViberChat* single = b.chat(1, {ann});
        _ViberChat* group = b.chat(2, {ann, bob, noName}, QStringLiteral("Team"), QStringLiteral("555"));

        QList<_ViberMsg*> list;
        list << b.message(single, ViberMsgType::Text, Day1, QStringLiteral("hello"));
        list << b.message(single, ViberMsgType::Picture, Day1.addSecs(60), QStringLiteral("pic"), true);
        list << b.callMessage(single, ann, ViberCallKind::Outgoing, 65, Day1.addSecs(120));
        _ViberMsg* system = b.message(group, ViberMsgType::System, Day1.addSecs(180), QStringLiteral("Bob"));
        system->systemType = ViberSystemType::MemberAdded;
        list << system;
        list << b.message(group, ViberMsgType::Text, Day1.addSecs(240), QStringLiteral("from bob"), false,
                          bob);
        list << b.message(group, ViberMsgType::Text, Day1.addSecs(300), QStringLiteral("from me"), true);
        list << b.message(nullptr, ViberMsgType::Text, Day1.addSecs(360), QStringLiteral("lost"));

        ItemModelSms model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.setMessages(list);
        QCOMPARE(reset.size(), 1);
        QCOMPARE(model.rowCount(), list.size());
        QCOMPARE(model.messages(), list);

        auto text = [&](int row, int column) { return model.index(row, column).data().toString(); };
        auto background = [&](int row, int column) {
            return model.index(row, column).data(Qt::BackgroundRole).value<QBrush>().color();
        };

        QCOMPARE(text(0, 0), QLocale::system().toString(Day1, QLocale::ShortFormat));
        QCOMPARE(text(0, 1), QStringLiteral("From"));
        QCOMPARE(text(0, 2), QStringLiteral("Ann(+4911)"));
        QCOMPARE(text(0, 3), QStringLiteral("hello"));
        QCOMPARE(text(1, 1), QStringLiteral("To"));
        QCOMPARE(text(1, 3), QStringLiteral("[IMAGE]"));
        QCOMPARE(text(2, 1), QString());
        QCOMPARE(text(2, 2), QStringLiteral("<Call>"));
        QCOMPARE(text(2, 3), QStringLiteral("Outgoing Call (1' 5'')"));
        QCOMPARE(text(3, 1), QString());
        QCOMPARE(text(3, 2), QStringLiteral("<System>"));
        QCOMPARE(text(4, 2), QStringLiteral("Bob(+4922)"));
        // A group message without a sender is the owner's: it names the whole group.
        QCOMPARE(text(5, 2), QStringLiteral("Ann(+4911), Bob(+4922), +4933"));
        QCOMPARE(text(6, 2), QString());
        QCOMPARE(model.index(4, 3).data(Qt::ToolTipRole).toString(), QStringLiteral("from bob"));

        QCOMPARE(background(0, 2), QColor(Qt::white));
        QCOMPARE(background(1, 0), QColor(245, 255, 226));
        QCOMPARE(background(5, 3), QColor(245, 255, 226));
        QCOMPARE(background(2, 1), QColor(245, 255, 226));
        // A member-added notice is never the owner's, whatever its status says.
        system->status = ViberStatus::Delivered;
        QCOMPARE(background(3, 0), QColor(Qt::white));

        QCOMPARE(argb(model.index(1, 0).data(Qt::DecorationRole)),
                 resourceIcon(QStringLiteral(":/res/icon_sms-sent.png")));
        QCOMPARE(argb(model.index(0, 0).data(Qt::DecorationRole)),
                 resourceIcon(QStringLiteral(":/res/icon_sms-receive.png")));
        QVERIFY(!model.index(1, 1).data(Qt::DecorationRole).isValid());
        QCOMPARE(model.index(0, 3).data(Qt::SizeHintRole).toSize(), QSize(0, 23));
        QVERIFY(!model.index(0, 3).data(Qt::EditRole).isValid());

        QCOMPARE(model.index(4, 0).internalPointer(), list[4]);
        QCOMPARE(model.index(4, 2).internalPointer(), nullptr);
        QCOMPARE(model.indexOfRow(6), model.index(6, 0));
        QVERIFY(!model.indexOfRow(7).isValid());
        QVERIFY(!model.indexOfRow(-1).isValid());
        QCOMPARE(model.messageAt(6), list[6]);
        QCOMPARE(model.messageAt(7), nullptr);
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
        QVERIFY(!model.index(0, 4).isValid());

        model.clear();
        QCOMPARE(reset.size(), 2);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Date"));
        QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Content"));
        QVERIFY(!model.headerData(4, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(1, Qt::Vertical).isValid());
    }

    void sortByTimeWithManyEqualTimes_data()
    {
        QTest::addColumn<int>("order");
        QTest::newRow("newest first") << int(Qt::DescendingOrder);
        QTest::newRow("oldest first") << int(Qt::AscendingOrder);
    }

    // Thousands of messages over three times once broke std::sort with a "greater or equal" test.
    void sortByTimeWithManyEqualTimes()
    {
        QFETCH(int, order);
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        QList<_ViberMsg*> list;
        for (int i = 0; i < 5000; ++i)
            list << b.message(chat, ViberMsgType::Text, Day1.addSecs((i * 7919) % 3), QString::number(i));
        const QList<_ViberMsg*> original = list;

        ItemModelSms::sortByTime(list, Qt::SortOrder(order));

        QCOMPARE(list.size(), original.size());
        const bool newestFirst = order == Qt::DescendingOrder;
        for (qsizetype i = 1; i < list.size(); ++i) {
            const double before = list[i - 1]->date;
            const double after = list[i]->date;
            QVERIFY2(newestFirst ? before >= after : before <= after, qPrintable(QString::number(i)));
            // Messages of one time stay in the order they were loaded in.
            if (before == after)
                QVERIFY(original.indexOf(list[i - 1]) < original.indexOf(list[i]));
        }
        QList<_ViberMsg*> sortedOriginal = original;
        QList<_ViberMsg*> sortedResult = list;
        std::sort(sortedOriginal.begin(), sortedOriginal.end());
        std::sort(sortedResult.begin(), sortedResult.end());
        QCOMPARE(sortedResult, sortedOriginal);
    }

    void viewsSignalSelectionAndMenu()
    {
        QStandardItemModel items(3, 1);
        MyTreeView tree;
        MyListView list;
        tree.setModel(&items);
        list.setModel(&items);
        for (QAbstractItemView* view :
             {static_cast<QAbstractItemView*>(&tree), static_cast<QAbstractItemView*>(&list)}) {
            QSignalSpy selection(view, SIGNAL(onSelectionChanged(QItemSelection, QItemSelection)));
            QSignalSpy menu(view, SIGNAL(createContextMenu()));
            view->selectionModel()->select(items.index(1, 0), QItemSelectionModel::ClearAndSelect);
            view->selectionModel()->select(items.index(2, 0), QItemSelectionModel::ClearAndSelect);
            QCOMPARE(selection.size(), 2);
            QCOMPARE(selection.at(1).at(0).value<QItemSelection>().indexes(),
                     QModelIndexList{items.index(2, 0)});
            QCOMPARE(selection.at(1).at(1).value<QItemSelection>().indexes(),
                     QModelIndexList{items.index(1, 0)});
            // The base class still keeps its own selection state.
            QVERIFY(view->selectionModel()->isSelected(items.index(2, 0)));

            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    view->viewport()->mapToGlobal(QPoint(5, 5)));
            QCoreApplication::sendEvent(view->viewport(), &event);
            QCOMPARE(menu.size(), 1);
        }
    }
};

QTEST_MAIN(TestItemModels)
#include "tst_itemmodels.moc"
