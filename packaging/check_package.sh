#!/usr/bin/env bash
# Makes the Debian package from a build folder, unpacks it into a scratch root
# with `dpkg -x` and checks that every file stands where the desktop and the
# shell look for it: the programs, the desktop entry (valid, passing the file,
# declaring the file types) with its icon, the file types' definitions (that
# the MIME database takes, with the backup's "TAPE" magic), the manual page and
# the bash completion (which completes from the unpacked tarvik). Also checks
# the package's name, fields and computed dependencies, and that it holds no
# cache a database refresh would have left.
#
# Usage: check_package.sh BUILD_DIR CPACK VERSION SAMPLE_BACKUP
set -euo pipefail
build=$1 cpack=$2 version=$3 sample=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    "$@" || fail "$what"
}

started=$SECONDS
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; exit 1; }
echo "cpack: $((SECONDS - started)) s"
deb="$scratch/out/ormilo-tarvik-bkf_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls -l "$scratch/out" >&2; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }

# The control fields; the dependencies come from dpkg-shlibdeps.
field() { dpkg-deb -f "$deb" "$1"; }
check "Package: $(field Package)" [ "$(field Package)" = ormilo-tarvik-bkf ]
check "Version: $(field Version)" [ "$(field Version)" = "$version" ]
depends=$(field Depends)
echo "Depends: $depends"
needed=$(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}')
for library in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6; do
    check "Depends lacks $library" grep -qxF "$library" <<<"$needed"
done

root="$scratch/root"
dpkg -x "$deb" "$root"
share="$root/usr/share"

# The programs, on the shell's PATH (/usr/bin), and runnable as unpacked.
for program in tarvik ormilo-tarvik-bkf; do
    check "usr/bin/$program is not an executable" [ -x "$root/usr/bin/$program" ]
done
check "tarvik --version" [ "$("$root/usr/bin/tarvik" --version)" = "tarvik (Ormilo Tarvik BKF) $version" ]
check "tarvik list of the sample" "$root/usr/bin/tarvik" list "$sample" --format tsv >/dev/null

# Nothing a database refresh writes: those belong to the system, which refreshes them.
unexpected=$(dpkg-deb -c "$deb" | awk '{print $6}' |
    grep -E 'mime/(mime\.cache|globs2?|magic|types|aliases|subclasses)$|applications/mimeinfo\.cache$|icon-theme\.cache$' || true)
check "the package holds generated caches: $unexpected" [ -z "$unexpected" ]

# The desktop entry and its icon.
entry="$share/applications/ormilo-tarvik-bkf.desktop"
if [ -f "$entry" ]; then
    check "desktop-file-validate" desktop-file-validate "$entry"
    check "the entry does not pass the file (%f)" grep -qE '^Exec=ormilo-tarvik-bkf %[fF]$' "$entry"
    for type in application/x-bkf application/x-ormbkf; do
        check "the entry does not declare $type" grep -qE "^MimeType=(.*;)?$type;" "$entry"
    done
    icon=$(sed -n 's/^Icon=//p' "$entry")
    for size in 16 32 48 256; do
        check "no ${size}px icon $icon" [ -f "$share/icons/hicolor/${size}x${size}/apps/$icon.png" ]
    done
else
    fail "no usr/share/applications/ormilo-tarvik-bkf.desktop"
fi

# The file types: the MIME database takes the definitions, with both names'
# globs and the magic, and the desktop database names the program for them.
check "no usr/share/mime/packages/ormilo-tarvik-bkf.xml" [ -f "$share/mime/packages/ormilo-tarvik-bkf.xml" ]
data="$scratch/data"
mkdir -p "$data/mime/packages" "$data/applications" "$scratch/home"
cp "$share/mime/packages/ormilo-tarvik-bkf.xml" "$data/mime/packages/"
cp "$entry" "$data/applications/" 2>/dev/null || true
if update-mime-database "$data/mime" 2>"$scratch/mime.log" && ! grep -qi 'error\|warning' "$scratch/mime.log"; then
    check "no *.bkf glob" grep -qx '50:application/x-bkf:\*\.bkf' "$data/mime/globs2"
    check "no *.ORMBKF glob" grep -qiE '^50:application/x-ormbkf:\*\.ormbkf(:cs)?$' "$data/mime/globs2"
    check "no TAPE magic" grep -qa 'TAPE' "$data/mime/magic"
else
    cat "$scratch/mime.log" >&2
    fail "update-mime-database refuses the definitions"
fi
check "update-desktop-database" update-desktop-database "$data/applications"
lookup() {
    env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/data" \
        XDG_CONFIG_HOME="$scratch/home/config" XDG_DATA_DIRS="$data" "$@"
}
for type in application/x-bkf application/x-ormbkf; do
    default=$(lookup xdg-mime query default "$type")
    check "xdg-mime query default $type: '$default'" [ "$default" = ormilo-tarvik-bkf.desktop ]
done
# A backup under any name is one by its first bytes (where GIO is there to ask).
if command -v gio >/dev/null; then
    cp "$sample" "$scratch/backup.dat"
    sniffed=$(lookup gio info -a standard::content-type "$scratch/backup.dat" | sed -n 's/^ *standard::content-type: //p')
    check "backup.dat is '$sniffed', not application/x-bkf" [ "$sniffed" = application/x-bkf ]
else
    echo "skipped: the magic by content (no gio)"
fi

# The manual page, where man looks, rendering without warnings.
page="$share/man/man1/tarvik.1.gz"
check "no usr/share/man/man1/tarvik.1.gz" [ -f "$page" ]
if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || echo "man failed")
    check "man -l: $warnings" [ -z "$warnings" ]
    check "man -l: no NAME" bash -c 'MANWIDTH=80 man -l "$1" 2>/dev/null | grep -q "tarvik - find and recover"' _ "$page"
else
    echo "skipped: rendering the manual page (no man)"
fi

# The bash completion, where bash-completion loads it from, completing from the
# unpacked tarvik: commands, and a choice's values.
completion="$share/bash-completion/completions/tarvik"
check "no usr/share/bash-completion/completions/tarvik" [ -f "$completion" ]
complete_words() {  # the completions of the words given, the last being completed
    PATH="$root/usr/bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        _tarvik tarvik "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$completion" "$@"
}
if [ -f /usr/share/bash-completion/bash_completion ] && [ -f "$completion" ]; then
    check "completing 'tarvik ex': $(complete_words tarvik ex | xargs)" \
        grep -qx extract <(complete_words tarvik ex)
    check "completing 'tarvik list x --format ': $(complete_words tarvik list x --format '' | xargs)" \
        [ "$(complete_words tarvik list x --format '' | xargs)" = "json text tsv" ]
    check "completing 'tarvik extract x d --m': $(complete_words tarvik extract x d --m | xargs)" \
        [ "$(complete_words tarvik extract x d --m | xargs)" = "--match" ]
else
    fail "bash-completion is not installed (/usr/share/bash-completion/bash_completion)"
fi

echo "checked in $((SECONDS - started)) s"
if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "the package is complete: $(basename "$deb")"
