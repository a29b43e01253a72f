#!/bin/sh
# Installs the build into a scratch prefix, moves the tree elsewhere and runs
# the installed programs from there with a clean environment: the run paths
# and the registration file must lead only into the installed tree.
#   install_tree_test.sh CMAKE BUILD_DIR WORK_DIR BINDIR LIBDIR DATAROOTDIR
# WORK_DIR/prefix is left behind for the tests that read the installed files.
set -u
CMAKE=$1 BUILD=$2 WORK=$3 BINDIR=$4 LIBDIR=$5 SHARE=$6

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# ok only when nothing failed since the last mark.
mark() { marked=$failures; }
pass() { [ "$failures" -eq "$marked" ] && echo "ok: $*"; mark; }
mark
skip() { echo "skipped: $*"; }

rm -rf "$WORK"
mkdir -p "$WORK/home" "$WORK/runtime"
chmod 700 "$WORK/runtime"
STAGE="$WORK/staged"
PREFIX="$WORK/prefix"

# DESTDIR from the caller would put the tree somewhere else.
if ! env -u DESTDIR "$CMAKE" --install "$BUILD" --prefix "$STAGE" >"$WORK/install.log" 2>&1; then
    cat "$WORK/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
# A tree that still works after moving cannot depend on where it was installed.
mv "$STAGE" "$PREFIX"

# --- files ------------------------------------------------------------------
LIB="$LIBDIR/vantix"
HICOLOR="$SHARE/icons/hicolor"
for f in \
    "$BINDIR/vantix" "$BINDIR/vantix-render" "$BINDIR/vantix-convert" "$BINDIR/vantix-components.conf" \
    "$LIB/libplatform.so" "$LIB/libdiagnostics.so" "$LIB/libplot_control.so" "$LIB/libors_provider.so" \
    "$LIB/libSnagwiseUtil3.0.so" \
    "$SHARE/applications/vantix.desktop" "$SHARE/mime/packages/vantix.xml" \
    "$HICOLOR/scalable/apps/vantix.svg" "$HICOLOR/scalable/mimetypes/application-x-vantix-ors.svg" \
    "$SHARE/vantix/samples/filter-tuning.ors" "$SHARE/vantix/samples/point-cloud.ors" \
    "$SHARE/doc/vantix/README.md" "$SHARE/doc/vantix/docs/batch.md"; do
    [ -f "$PREFIX/$f" ] || fail "missing $f"
done
for f in "$BINDIR/vantix" "$BINDIR/vantix-render" "$BINDIR/vantix-convert"; do
    [ -x "$PREFIX/$f" ] || fail "$f is not executable"
done
# Libraries belong in lib/, not in bin/.
if ls "$PREFIX/$BINDIR" | grep -q '\.so'; then fail "shared objects in $BINDIR: $(ls "$PREFIX/$BINDIR" | grep '\.so')"; fi

# Every icon is a PNG of the size its folder names.
png_width() { od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }
for edge in 16 24 32 48 64 256; do
    for icon in "apps/vantix.png" "mimetypes/application-x-vantix-ors.png"; do
        f="$PREFIX/$HICOLOR/${edge}x$edge/$icon"
        if [ ! -f "$f" ]; then
            fail "missing ${edge}x$edge/$icon"
        elif [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" != '211PNG' ]; then
            fail "${edge}x$edge/$icon is not a PNG"
        elif [ "$(png_width "$f")" != "$edge" ]; then
            fail "${edge}x$edge/$icon is $(png_width "$f") pixels wide"
        fi
    done
done
pass "installed files"

# --- registration file -------------------------------------------------------
CONF="$PREFIX/$BINDIR/vantix-components.conf"
entries=0
while IFS= read -r line; do
    line=${line%%#*}
    case $line in *=*) ;; *) continue ;; esac
    module=$(echo "${line#*=}" | tr -d ' \t\r')
    case $module in
        /*) fail "absolute module path in the registration file: $module" ;;
        *) [ -f "$PREFIX/$BINDIR/$module" ] || fail "registered module not installed: $module" ;;
    esac
    entries=$((entries + 1))
done <"$CONF"
# Chart control, data provider, diagnostics library.
[ "$entries" -ge 3 ] || fail "registration file lists $entries modules"
grep -q '{A3F0B6E2-71C4-4B0D-8E52-6D1F903AC714}' "$CONF" || fail "diagnostics library not registered"
pass "registration file ($entries modules)"

# --- no way back into the build tree -----------------------------------------
if command -v readelf >/dev/null 2>&1; then
    for f in "$PREFIX/$BINDIR"/vantix* "$PREFIX/$LIB"/*.so; do
        case $f in *.conf) continue ;; esac
        paths=$(readelf -d "$f" | grep -E 'RUNPATH|RPATH')
        case $paths in
            *"$BUILD"*) fail "$f still searches the build tree: $paths" ;;
        esac
        case $paths in
            *'$ORIGIN'*) ;;
            *) fail "$f has no \$ORIGIN run path: $paths" ;;
        esac
    done
    pass "run paths"
else
    skip "readelf not installed: run paths not checked"
fi

# --- desktop entry and MIME type ---------------------------------------------
DESKTOP="$PREFIX/$SHARE/applications/vantix.desktop"
MIMEXML="$PREFIX/$SHARE/mime/packages/vantix.xml"
if command -v desktop-file-validate >/dev/null 2>&1; then
    if out=$(desktop-file-validate "$DESKTOP" 2>&1) && [ -z "$out" ]; then
        pass "desktop-file-validate"
    else
        fail "desktop-file-validate: $out"
    fi
else
    skip "desktop-file-validate not installed (desktop-file-utils)"
fi
if command -v xmllint >/dev/null 2>&1; then
    if xmllint --noout "$MIMEXML"; then pass "MIME XML well-formed"; else fail "xmllint $MIMEXML"; fi
else
    skip "xmllint not installed (libxml2-utils)"
fi
if command -v update-mime-database >/dev/null 2>&1; then
    # The system's types and this package in one database, as a package manager
    # leaves /usr/share/mime. The tool reports
    # errors on stderr but still exits 0.
    mkdir -p "$WORK/mime-db/mime/packages"
    cp /usr/share/mime/packages/*.xml "$MIMEXML" "$WORK/mime-db/mime/packages/"
    if out=$(XDG_DATA_DIRS="$WORK/mime-db" update-mime-database "$WORK/mime-db/mime" 2>&1) && [ -z "$out" ] &&
        grep -q '^application/x-vantix-ors:\*\.ors$' "$WORK/mime-db/mime/globs"; then
        pass "update-mime-database"
    else
        fail "update-mime-database: $out"
    fi
else
    skip "update-mime-database not installed (shared-mime-info)"
fi
# The entry opens the type the package defines, runs the installed program and
# shows an installed icon.
mime_type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$MIMEXML")
grep -q "^MimeType=.*$mime_type;" "$DESKTOP" || fail "desktop entry does not open $mime_type"
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$DESKTOP")
[ -x "$PREFIX/$BINDIR/$exec_cmd" ] || fail "Exec=$exec_cmd is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$DESKTOP")
[ -f "$PREFIX/$HICOLOR/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"
pass "desktop entry names the installed type, program and icon"

# --- the installed programs run ----------------------------------------------
# No VANTIX_COMPONENTS, no LD_LIBRARY_PATH, another working folder.
clean() {
    (cd "$WORK/home" && env -i HOME="$WORK/home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
        XDG_RUNTIME_DIR="$WORK/runtime" XDG_CONFIG_HOME="$WORK/home/config" XDG_STATE_HOME="$WORK/home/state" "$@")
}
# Objects that a process initialised, from the dynamic loader's own account.
loaded() { sed -n 's/.*calling init: //p' "$1"; }
check_loaded_from_prefix() { # LOG NAME...
    log=$1
    shift
    for name in "$@"; do
        where=$(loaded "$log" | grep "/$name\$" | sort -u)
        [ -n "$where" ] && where=$(readlink -f "$where")
        case $where in
            "$(readlink -f "$PREFIX/$LIB/$name")") ;;
            "") fail "$name was not loaded" ;;
            *) fail "$name loaded from $where" ;;
        esac
    done
}

version=$(clean "$PREFIX/$BINDIR/vantix" --version 2>"$WORK/version.err")
rc=$?
case $version in
    "vantix "[0-9]*) [ $rc -eq 0 ] && pass "vantix --version: $version" || fail "vantix --version exited $rc" ;;
    *) fail "vantix --version printed '$version' (exit $rc): $(cat "$WORK/version.err")" ;;
esac

clean env LD_DEBUG=libs "$PREFIX/$BINDIR/vantix-render" --render "$WORK/chart.png" --size 320x200 \
    --print-choice "$PREFIX/$SHARE/vantix/samples/filter-tuning.ors" >"$WORK/render.out" 2>"$WORK/render.err"
rc=$?
if [ $rc -ne 0 ]; then
    fail "vantix-render exited $rc: $(grep -v '^ *[0-9]*:' "$WORK/render.err")"
elif [ "$(head -c 4 "$WORK/chart.png" | od -An -c | tr -d ' ')" != '211PNG' ]; then
    fail "vantix-render wrote no PNG"
else
    check_loaded_from_prefix "$WORK/render.err" libplatform.so libdiagnostics.so libors_provider.so
    pass "vantix-render: $(wc -c <"$WORK/chart.png") bytes, $(grep -c . "$WORK/render.out") lines of choice"
fi

# The converter writes a results file that the MIME type recognises by content.
printf 'x,y,f\n0,0,1\n0,1,2\n1,0,3\n1,1,4\n' >"$WORK/table.csv"
clean "$PREFIX/$BINDIR/vantix-convert" --functions f "$WORK/table.csv" "$WORK/table.ors" >"$WORK/convert.log" 2>&1
rc=$?
if [ $rc -ne 0 ]; then
    fail "vantix-convert exited $rc: $(cat "$WORK/convert.log")"
elif [ "$(head -c 15 "$WORK/table.ors")" != "SQLite format 3" ] ||
    [ "$(dd if="$WORK/table.ors" bs=1 skip=68 count=4 2>/dev/null)" != ORSF ]; then
    fail "vantix-convert wrote no results file"
else
    pass "vantix-convert"
fi

# The program itself, opening the installed sample: it creates the chart
# control and the data provider through the registration file, then waits in
# its event loop until it is stopped.
clean env LD_DEBUG=libs timeout -s TERM 8 "$PREFIX/$BINDIR/vantix" \
    "$PREFIX/$SHARE/vantix/samples/filter-tuning.ors" >"$WORK/vantix.out" 2>"$WORK/vantix.err"
rc=$?
if [ $rc -ne 124 ]; then
    fail "vantix with the sample exited $rc before it was stopped: $(grep -v '^ *[0-9]*:' "$WORK/vantix.err")"
else
    # Start-up sends a check to the diagnostics library, which then logs.
    check_loaded_from_prefix "$WORK/vantix.err" libplatform.so libdiagnostics.so libors_provider.so \
        libplot_control.so libSnagwiseUtil3.0.so
    [ -s "$WORK/home/state/vantix/snagwise.log" ] || fail "the diagnostics library wrote no log"
    pass "vantix opened the sample from the installed tree"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "installed tree in $PREFIX is complete and runs"
