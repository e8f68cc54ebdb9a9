#!/bin/sh
# The folders of src/ are libraries stacked in floors, and includes point
# down only:
#   gui -> app -> render -> transfer -> settings -> cg -> gpu -> io (-> zvf)
# No wx outside src/gui/, no OpenGL header or the volume record in src/io/,
# ITK, GDCM and libtiff only in src/io/, and no function longer than 120
# lines in src/, zvf/ and tools/.
# usage: floors.sh BUILD_DIR SOURCE_DIR
exec python3 - "$2" <<'PY'
import os, re, sys
root = sys.argv[1]
src = os.path.join(root, "src")
rank = {"io": 1, "gpu": 2, "cg": 3, "settings": 4, "transfer": 5, "render": 6, "app": 7, "gui": 8}
include = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
faults = []

# Which folder each header of src/ lives in.
home = {}
for folder in rank:
    for name in os.listdir(os.path.join(src, folder)):
        home[name] = folder
loose = [n for n in os.listdir(src) if os.path.isfile(os.path.join(src, n))]
if loose:
    faults.append("files outside the floors' folders: " + ", ".join(sorted(loose)))

edges = set()
for folder in rank:
    for name in sorted(os.listdir(os.path.join(src, folder))):
        path = os.path.join("src", folder, name)
        for line in open(os.path.join(src, folder, name), encoding="utf-8", errors="replace"):
            m = include.match(line)
            if not m:
                continue
            kind, header = m.groups()
            if header.startswith("wx/") and folder != "gui":
                faults.append(f"{path}: wx header {header} outside src/gui/")
            if re.match(r"(itk|gdcm|tiff)", header, re.I) and folder != "io":
                faults.append(f"{path}: {header} outside src/io/")
            if folder == "io" and (header in ("includegl.h", "volume.h") or
                                   re.match(r"(GL|EGL|epoxy)/", header)):
                faults.append(f"{path}: src/io/ includes {header}")
            target = home.get(os.path.basename(header)) if kind == '"' else None
            if target and target != folder:
                edges.add((folder, target))
                if rank[target] > rank[folder]:
                    faults.append(f"{path}: includes {header} from the floor above ({target})")

# No circle between folders, whatever the ranks say.
def circle():
    state = {}
    def visit(n, trail):
        state[n] = 1
        for a, b in sorted(edges):
            if a != n:
                continue
            if state.get(b) == 1:
                return trail + [b]
            if not state.get(b):
                found = visit(b, trail + [b])
                if found:
                    return found
        state[n] = 2
    for n in rank:
        if not state.get(n):
            found = visit(n, [n])
            if found:
                return found
found = circle()
if found:
    faults.append("include circle: " + " -> ".join(found))

# Function length: a definition starts at column 0 and ends at the first
# "}" in column 0 after it.
start = re.compile(r"^[A-Za-z_][\w:<>,\s\*&~]*\s*[\w:~<>=+\-*/!\[\]]+\s*\([^;]*$")
for top in ("src", "zvf", "tools"):
    for dirpath, _, names in os.walk(os.path.join(root, top)):
        for name in names:
            if not name.endswith((".cpp", ".h")):
                continue
            lines = open(os.path.join(dirpath, name), encoding="utf-8", errors="replace").read().split("\n")
            i = 0
            while i < len(lines):
                if start.match(lines[i]) and not lines[i].startswith(("namespace", "class", "struct", "enum", "#", "extern", "using", "template", "typedef")):
                    j = i
                    while j < len(lines) and not lines[j].startswith("{") and not lines[j].rstrip().endswith("{"):
                        if lines[j].rstrip().endswith(";"):
                            break
                        j += 1
                    if j < len(lines) and not lines[j].rstrip().endswith(";"):
                        k = j + 1
                        while k < len(lines) and not lines[k].startswith("}"):
                            k += 1
                        if k - i + 1 > 120:
                            rel = os.path.relpath(os.path.join(dirpath, name), root)
                            faults.append(f"{rel}:{i + 1}: function of {k - i + 1} lines (at most 120)")
                        i = k
                i += 1

for f in faults:
    print(f)
if faults:
    sys.exit(1)
print("floors: includes point down, io is free of GL, every function within 120 lines")
PY
