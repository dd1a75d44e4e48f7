#!/bin/sh
# korrin-batch over many small workbooks named on standard input, run by
# hand:
#   bench/many_files.sh [COUNT] [WORKDIR]
# Builds korrin-batch (Release) in build-bench/, writes COUNT small
# workbooks (default 10000, bench/make_small_workbooks.py) into WORKDIR
# (default: a new temporary folder) and
#  1. times a run over all of them given through --files-from - and prints
#     its peak memory (/usr/bin/time -v);
#  2. kills a second run (SIGKILL) when half the files have reported, and
#     checks that every workbook is byte for byte either as it was or as a
#     completed run leaves it, and counts the temporary files left behind;
#  3. runs once more and checks that every workbook is changed and that no
#     temporary file is left.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-10000}
work=${2:-$(mktemp -d /tmp/korrin-many.XXXXXX)}
py=/usr/bin/python3

. "$here/build.sh"
batch=$(korrin_batch)
pairs="--sheets all --match-case --pair alpha omega"

mkdir -p "$work"
if [ ! -f "$work/small/book$(printf %04d $((count - 1))).xlsx" ]; then
    echo "writing $count small workbooks..."
    rm -rf "$work/small"
    $py "$here/make_small_workbooks.py" "$work/small" "$count"
fi
fresh() { rm -rf "$work/run"; cp -r "$work/small" "$work/run"; }
list() { find "$work/run" -name '*.xlsx' | sort; }
temporaries() { find "$work/run" -name '.~korrin.*' | wc -l; }

# What each source workbook becomes after a completed run: the bytes of the
# copies made from one source are the same before, and so after.
fresh
list | "$batch" $pairs --files-from - >"$work/done.log"
$py - "$work/small" "$work/run" >"$work/hashes" <<'PY'
import hashlib, os, sys
before, after = sys.argv[1], sys.argv[2]
h = lambda p: hashlib.sha256(open(p, 'rb').read()).hexdigest()
for name in sorted(os.listdir(before)):
    print(name, h(os.path.join(before, name)), h(os.path.join(after, name)))
PY

fresh
list | /usr/bin/time -v "$batch" $pairs --files-from - >"$work/out.log" 2>"$work/time.log"
secs=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$work/time.log" | awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.log")
echo "$count workbooks through --files-from -: $secs s, peak $((rss / 1024)) MB"
echo "  $(tail -1 "$work/out.log")"

fresh
list >"$work/list"
"$batch" $pairs --files-from "$work/list" >"$work/killed.log" &
pid=$!
while [ "$(wc -l <"$work/killed.log")" -lt $((count / 2)) ]; do sleep 0.05; done
kill -9 $pid
wait $pid 2>/dev/null || true
echo "killed after $(wc -l <"$work/killed.log") reports; temporary files left: $(temporaries)"
$py - "$work/hashes" "$work/run" <<'PY'
import hashlib, os, sys
old = new = other = 0
for line in open(sys.argv[1]):
    name, before, after = line.split()
    h = hashlib.sha256(open(os.path.join(sys.argv[2], name), 'rb').read()).hexdigest()
    if h == before: old += 1
    elif h == after: new += 1
    else: other += 1; print('neither old nor new:', name)
print('  after the kill: %d as they were, %d changed, %d neither' % (old, new, other))
PY
"$batch" $pairs --files-from "$work/list" >"$work/again.log"
echo "  the next run: $(tail -1 "$work/again.log"); temporary files left: $(temporaries)"
$py - "$work/hashes" "$work/run" <<'PY'
import hashlib, os, sys
bad = [l.split()[0] for l in open(sys.argv[1])
       if hashlib.sha256(open(os.path.join(sys.argv[2], l.split()[0]), 'rb').read()).hexdigest() != l.split()[2]]
print('  after it: %d workbooks not as a completed run leaves them' % len(bad))
PY
echo "work folder: $work"
