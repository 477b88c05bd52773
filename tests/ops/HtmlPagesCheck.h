#pragma once

// Reads every page of an HTML export as a browser's parser does (Python's html.parser)
// and fails on what a browser would repair: an end tag that closes another element, an
// element left open, a non-void element written self-closed ("<div/>" stays open in a
// page read as HTML, as these are), an id given twice, or a relative link or picture
// whose file, or whose "#id" in it, is not there. Prints "PAGE ID" for each message
// anchor.
inline constexpr auto CheckPagesScript = R"PY(
import os, sys, html.parser, urllib.parse
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source", "track", "wbr"}
folder = sys.argv[1]
errors, ids, links = [], {}, []
class Page(html.parser.HTMLParser):
    def __init__(self, name):
        super().__init__(convert_charrefs=True)
        self.name, self.open = name, []
    def fail(self, what):
        errors.append("%s:%d: %s" % (self.name, self.getpos()[0], what))
    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            if attrs["id"] in ids[self.name]:
                self.fail("id %s twice" % attrs["id"])
            ids[self.name].add(attrs["id"])
        for key in ("href", "src"):
            if attrs.get(key):
                links.append((self, attrs[key]))
        if tag not in VOID:
            self.open.append(tag)
    def handle_startendtag(self, tag, attrs):
        if tag not in VOID:
            self.fail("<%s/> is not closed in HTML" % tag)
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.open.pop()
    def handle_endtag(self, tag):
        if not self.open or self.open[-1] != tag:
            self.fail("</%s> closes %s" % (tag, self.open[-1:] or "nothing"))
        else:
            self.open.pop()
pages = sorted(n for n in os.listdir(folder) if n.endswith(".html"))
for name in pages:
    ids[name] = set()
    page = Page(name)
    page.feed(open(os.path.join(folder, name), encoding="utf-8").read())
    page.close()
    if page.open:
        page.fail("left open: %s" % page.open)
for page, link in links:
    url = urllib.parse.urlsplit(link)
    if url.scheme or link.startswith("//"):
        continue
    target = urllib.parse.unquote(url.path) or page.name
    if not os.path.isfile(os.path.join(folder, target)):
        page.fail("no file for %s" % link)
    elif url.fragment and url.fragment not in ids.get(target, ()):
        page.fail("no #%s in %s" % (url.fragment, target))
for name in pages:
    for i in ids[name]:
        if i.startswith("msg-"):
            print(name, i[4:])
if errors:
    sys.exit("\n".join(errors[:20]))
)PY";
