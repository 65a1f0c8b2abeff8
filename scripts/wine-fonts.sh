#!/usr/bin/env bash
# Makes the faces Windows programs ask for but this machine lacks resolve to installed faces of
# the same script, in the given Wine prefix:
#   wine-fonts.sh WINEPREFIX
# Wine otherwise maps an unknown face silently to its default face, which has no CJK or Thai
# glyphs. Also lets Wine's X11 driver leave its windows unmanaged: without a window manager a
# managed window takes about two seconds to close, which every window test would wait for.
# Runs once per prefix and list (a stamp file records it); a no-op afterwards.
set -euo pipefail

prefix=$1

replacements=(
    "Microsoft YaHei=Noto Sans CJK SC"
    "Microsoft YaHei UI=Noto Sans CJK SC"
    "微软雅黑=Noto Sans CJK SC"
    "SimSun=Noto Sans CJK SC"
    "Microsoft JhengHei=Noto Sans CJK TC"
    "Microsoft JhengHei UI=Noto Sans CJK TC"
    "微軟正黑體=Noto Sans CJK TC"
    "PMingLiU=Noto Sans CJK TC"
    "Yu Gothic UI=Noto Sans CJK JP"
    "Meiryo UI=Noto Sans CJK JP"
    "MS UI Gothic=Noto Sans CJK JP"
    "Malgun Gothic=Noto Sans CJK KR"
    "맑은 고딕=Noto Sans CJK KR"
    "Gulim=Noto Sans CJK KR"
    "Leelawadee UI=Noto Sans Thai"
)

x11_driver='"Managed"="N"'
stamp=$prefix/.tamrix-fonts-$(printf '%s\n' "${replacements[@]}" "$x11_driver" | sha256sum | cut -c1-12)
[ -f "$stamp" ] && exit 0

(
    flock 9
    [ -f "$stamp" ] && exit 0
    reg=$(mktemp --suffix=.reg)
    trap 'rm -f "$reg"' EXIT
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for pair in "${replacements[@]}"; do
            printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}"
        done
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n%s\r\n' "$x11_driver"
    } | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg"
    if ! WINEPREFIX=$prefix WINEDEBUG=-all wine reg import "Z:${reg//\//\\}" >/dev/null 2>&1; then
        echo "wine-fonts: the font replacements could not be imported into $prefix" >&2
        exit 0
    fi
    rm -f "$prefix"/.tamrix-fonts-*
    touch "$stamp"
) 9>"$prefix.fonts.lock"
