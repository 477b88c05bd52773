#!/usr/bin/env bash
# Regenerates resources/emoji/softbank-map.tsv: the old private-use emoji codes
# (U+E001 to U+E537, the SoftBank encoding older phones wrote) and the Unicode emoji
# they stand for, taken from the emoji-datasource package (MIT licence) of the npm
# registry.
set -euo pipefail
version=${1:-16.0.0}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "emoji-datasource@$version" >/dev/null && tar xzf "emoji-datasource-$version.tgz" package/emoji.json)
python3 - "$work/package/emoji.json" "$version" >"$root/resources/emoji/softbank-map.tsv" <<'PY'
import json, sys
entries = json.load(open(sys.argv[1], encoding="utf-8"))
print("# old code\tunified sequence (emoji-datasource %s, MIT licence)" % sys.argv[2])
rows = sorted((e["softbank"], e["unified"]) for e in entries if e.get("softbank"))
for old, unified in rows:
    print("%s\t%s" % (old, unified))
PY
echo "wrote $(($(wc -l <"$root/resources/emoji/softbank-map.tsv") - 1)) codes"
