#!/usr/bin/env python3
"""Reads a phone's Viber databases of today's app before and after a transfer with
Python's own sqlite3, independently of Velliport's code, and prints what a test needs
as JSON: whether every row of the phone is unchanged, the added messages as the app's
own joins show them, the app's views (conversation list, chat order, unread counts,
text search) and the added call-log rows.

Usage: modern_viber_check.py BEFORE_MESSAGES AFTER_MESSAGES [BEFORE_DATA AFTER_DATA]
"""
import json
import sqlite3
import sys


def connect(path):
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    # The app's schema names Android's collations.
    for name in ("LOCALIZED", "UNICODE"):
        db.create_collation(name, lambda a, b: (a > b) - (a < b))
    return db


def changed_rows(before, after):
    """Rows of the phone (every table, every column, the rowid too) that are not in the
    new file exactly as they were."""
    changed = []
    tables = [r[0] for r in before.execute(
        "select name from sqlite_master where type='table' and name not like 'sqlite_%'")]
    for table in tables:
        old = {r[0]: r[1:] for r in before.execute('select rowid, * from "%s"' % table)}
        new = {r[0]: r[1:] for r in after.execute('select rowid, * from "%s"' % table)}
        for rowid, values in old.items():
            if new.get(rowid) != values:
                changed.append("%s:%s" % (table, rowid))
    return changed


def added_messages(after, last_id):
    rows = after.execute(
        """select m._id, m.conversation_id, c.conversation_type, c.group_id, pc.number, m.send_type,
                  pi.number, pi.participant_type, m.extra_mime, m.body, m.msg_info, m.unread, m.msg_date,
                  m.order_key, m.token, m.extra_uri, m.status, m.deleted, m.user_id
           from messages m join conversations c on c._id = m.conversation_id
           left join participants_info pc on c.conversation_type = 0 and pc._id = c.participant_id_1
           left join participants p on p._id = m.participant_id and p.conversation_id = m.conversation_id
           left join participants_info pi on pi._id = p.participant_info_id
           where m._id > ? order by m._id""", (last_id,))
    keys = ["id", "conversation", "conversation_type", "group_id", "peer", "send_type", "sender",
            "sender_type", "kind", "body", "msg_info", "unread", "date", "order_key", "token", "uri",
            "status", "deleted", "user_id"]
    return [dict(zip(keys, r)) for r in rows]


def app_views(after, last_id):
    views = {}
    visible = "deleted = 0 and extra_mime is not 1007"
    # The conversation list: chats not deleted, no service chats, one-to-one partners not
    # hidden, each with its last message in the app's order.
    views["conversation_list"] = [list(r) for r in after.execute(
        """select c._id, (select _id from messages where conversation_id = c._id and %s
                          and (extra_flags & 4194304) = 0 order by order_key desc, msg_date desc limit 1)
           from conversations c left join participants_info p on p._id = c.participant_id_1
           where c.deleted = 0 and (c.flags & 262144) = 0
             and (c.conversation_type <> 0 or (p._id is not null and (p.participant_info_flags & 2) = 0))
           order by c._id""" % visible)]
    # Each chat in the app's order: adjacent rows of which one is added must be in date order.
    violations = 0
    for (conversation,) in after.execute("select distinct conversation_id from messages where _id > ?",
                                         (last_id,)).fetchall():
        listed = after.execute("select _id, msg_date from messages where conversation_id = ? and %s "
                               "order by order_key desc, msg_date desc" % visible, (conversation,)).fetchall()
        for newer, older in zip(listed, listed[1:]):
            if (newer[0] > last_id or older[0] > last_id) and newer[1] < older[1]:
                violations += 1
    views["order_violations"] = violations
    views["unread"] = [list(r) for r in after.execute(
        "select conversation_id, count(*) from messages where unread > 0 and %s group by 1 order by 1" % visible)]
    texts = after.execute("select _id, body from messages where _id > ? and extra_mime = 0 and body <> ''",
                          (last_id,)).fetchall()
    found = 0
    for message_id, body in texts:
        hits = after.execute("select m._id from messages m join conversations c on c._id = m.conversation_id "
                             "where c.deleted = 0 and m.deleted = 0 and instr(m.body, ?) > 0", (body,)).fetchall()
        found += any(h[0] == message_id for h in hits)
    views["search_found"] = found
    views["search_texts"] = len(texts)
    return views


def main():
    before, after = connect(sys.argv[1]), connect(sys.argv[2])
    last_id = before.execute("select ifnull(max(_id), 0) from messages").fetchone()[0]
    result = {
        "integrity": after.execute("pragma integrity_check").fetchone()[0],
        "changed": changed_rows(before, after),
        "added": added_messages(after, last_id),
        "views": app_views(after, last_id),
        "views_before": app_views(before, last_id),
    }
    if len(sys.argv) > 4:
        data_before, data_after = connect(sys.argv[3]), connect(sys.argv[4])
        last_call = data_before.execute("select ifnull(max(_id), 0) from calls").fetchone()[0]
        result["data_integrity"] = data_after.execute("pragma integrity_check").fetchone()[0]
        result["data_changed"] = changed_rows(data_before, data_after)
        result["calls"] = [dict(zip(["number", "type", "date", "duration", "token"], r)) for r in data_after.execute(
            "select number, type, date, duration, token from calls where _id > ? order by _id", (last_call,))]
    json.dump(result, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
