#!/usr/bin/env python3
"""Checks a phone's viber_messages after a transfer against the file before it.

usage: check_transfer.py BEFORE AFTER EXPECT_JSON

EXPECT_JSON holds "added_tokens" (tokens of messages that must be present exactly once)
and optionally "added_count" (how many rows the transfer added). Prints every fault
found and exits 1 when there is one. Uses nothing of the program under test.
"""
import json
import os
import sqlite3
import sys

faults = []


def fault(text):
    faults.append(text)


def columns(db, table):
    return [r[1] for r in db.execute(f'PRAGMA table_info("{table}")')]


def has_table(db, table):
    return db.execute("select count(*) from sqlite_master where type='table' and name=?",
                      (table,)).fetchone()[0] > 0


def main():
    before_path, after_path, expect = sys.argv[1], sys.argv[2], json.loads(sys.argv[3])
    for suffix in ('-wal', '-shm', '-journal'):
        if os.path.exists(after_path + suffix):
            fault(f'{after_path}{suffix} left beside the file')
    before = sqlite3.connect(f'file:{before_path}?mode=ro', uri=True)
    after = sqlite3.connect(f'file:{after_path}?mode=ro', uri=True)
    for db in (before, after):
        db.create_collation('LOCALIZED', lambda a, b: (a > b) - (a < b))
        db.create_collation('UNICODE', lambda a, b: (a > b) - (a < b))

    check = after.execute('PRAGMA integrity_check').fetchall()
    if check != [('ok',)]:
        fault(f'integrity_check: {check}')

    cols = [c for c in columns(before, 'messages') if c != '_id']
    if cols != [c for c in columns(after, 'messages') if c != '_id']:
        fault('the messages columns changed')
    select = ', '.join(f'"{c}"' for c in cols)
    live = ' where deleted = 0' if 'deleted' in cols else ''
    old_rows = {r[0]: tuple(r[1:]) for r in before.execute(f'select _id, {select} from messages{live}')}
    new_rows = {r[0]: tuple(r[1:]) for r in after.execute(f'select _id, {select} from messages')}

    # Every phone row, all values but _id, matched to one row after the transfer.
    free = {}
    for new_id, values in new_rows.items():
        free.setdefault(values, []).append(new_id)
    for ids in free.values():
        ids.sort()
    moved = {}
    for old_id in sorted(old_rows):
        ids = free.get(old_rows[old_id])
        if not ids:
            fault(f'phone row {old_id} lost or changed: {old_rows[old_id]}')
            continue
        moved[old_id] = ids.pop(0)
    phone_ids = set(moved.values())

    # _id order is date order, a phone row ahead of an added row of the same date.
    date_at = cols.index('date')
    previous = None
    for new_id in sorted(new_rows):
        key = (new_rows[new_id][date_at], new_id not in phone_ids)
        if previous is not None and key < previous:
            fault(f'row {new_id} out of date order: {key} after {previous}')
        previous = key

    added = [i for i in new_rows if i not in phone_ids]
    if 'added_count' in expect and len(added) != expect['added_count']:
        fault(f'{len(added)} rows added, expected {expect["added_count"]}')
    token_at = cols.index('token')
    for token in expect.get('added_tokens', []):
        count = sum(1 for v in new_rows.values() if v[token_at] == token)
        if count != 1:
            fault(f'token {token} present {count} times')

    # Tables that name a message by _id keep naming the same message.
    for table, column in (('messages_calls', 'message_id'), ('public_messages_extras', 'message_id')):
        if not has_table(before, table):
            continue
        other = [c for c in columns(before, table) if c not in ('_id', column)]
        sel = ', '.join(f'"{c}"' for c in other)
        old_refs = {r[0]: (r[1], tuple(r[2:])) for r in before.execute(f'select _id, "{column}", {sel} from "{table}"')}
        new_refs = {r[0]: (r[1], tuple(r[2:])) for r in after.execute(f'select _id, "{column}", {sel} from "{table}"')}
        for row_id, (old_ref, values) in old_refs.items():
            if row_id not in new_refs:
                fault(f'{table} row {row_id} lost')
                continue
            new_ref, new_values = new_refs[row_id]
            if new_values != values:
                fault(f'{table} row {row_id} changed: {values} -> {new_values}')
            wanted = moved.get(old_ref, 0)
            if new_ref != wanted:
                fault(f'{table} row {row_id} names message {new_ref}, expected {wanted} (was {old_ref})')
        for row_id, (new_ref, _) in new_refs.items():
            if row_id not in old_refs and new_ref not in new_rows:
                fault(f'new {table} row {row_id} names missing message {new_ref}')

    conversation_at = cols.index('conversation_id')
    for conv_id, last in after.execute('select _id, last_message_id from conversations'):
        if last and (last not in new_rows or new_rows[last][conversation_at] != conv_id):
            fault(f'conversation {conv_id} names last message {last} of another chat')
    for part_id, last in after.execute('select _id, last_message_id from participants'):
        if last and last not in new_rows:
            fault(f'participant {part_id} names missing message {last}')

    if has_table(before, 'sqlite_sequence'):
        old_seq = before.execute("select seq from sqlite_sequence where name='messages'").fetchone()
        new_seq = after.execute("select seq from sqlite_sequence where name='messages'").fetchone()
        if old_seq and (not new_seq or new_seq[0] < old_seq[0]):
            fault(f'sqlite_sequence went down: {old_seq} -> {new_seq}')
        if new_seq and new_rows and new_seq[0] < max(new_rows):
            fault(f'sqlite_sequence {new_seq[0]} below the largest _id {max(new_rows)}')

    for text in faults:
        print(text)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
