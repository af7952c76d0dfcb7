#!/bin/sh
# Translates two applications of the sample files (each its resource file
# and its registration file) into four languages, with gettext and
# translate-toolkit as the translator's tools, then updates them to a new
# version of one application. Shows every step; fails on the first error.
#   scripts/translate-apps.sh [BUILD]   (default: build)
set -eu
strings=$(realpath "${1:-build}")/src/tavolin-strings
corpus=$(realpath -m "$(dirname "$0")/../../shared/corpus/qtsdk")
if [ ! -d "$corpus" ]; then
    echo "translate-apps: sample files not found at $corpus; skipped"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for f in qttestbrowser qttestbrowser_reg hb_symbian hb_symbian_reg; do
    cp "$corpus/$f.rsc" . && chmod u+w "$f.rsc"
done
apps="qttestbrowser.rsc qttestbrowser_reg.rsc hb_symbian.rsc hb_symbian_reg.rsc"
run() { echo "\$ $*" | sed "s|$strings|tavolin-strings|"; "$@"; }

# One template of both applications; the registration files' paths of the
# resource files are left out.
run "$strings" export $apps -o apps.pot

# The translator's glossary: source, then the four languages.
cat > glossary.txt <<'END'
QtTestBrowser|Testiselain|Тестовый браузер|Testbrowser|测试浏览器
hb_symbian|HB-sovellus|Приложение HB|HB-Anwendung|HB 应用
END
column=2
for lang in fi ru de zh_CN; do
    echo "\$ msginit --no-translator --locale=$lang -i apps.pot -o $lang.po"
    msginit --no-translator --locale=$lang -i apps.pot -o $lang.po >/dev/null 2>&1
    run po2csv --progress=none $lang.po $lang.csv
    # The translation tool's work: each source's target from the glossary.
    while IFS='|' read -r source fi ru de zh; do
        target=$(echo "$source|$fi|$ru|$de|$zh" | cut -d'|' -f$column)
        sed -i "s/,\"$source\",\"\"\r\{0,1\}\$/,\"$source\",\"$target\"/" $lang.csv
    done < glossary.txt
    run csv2po --progress=none -t $lang.po $lang.csv $lang.filled.po
    mv $lang.filled.po $lang.po
    run msgfmt --check -o /dev/null $lang.po
    run "$strings" import $apps $lang.po --variant
    column=$((column + 1))
done
run ls
for variant in qttestbrowser.r09 qttestbrowser_reg.r16 hb_symbian.r03 hb_symbian_reg.r31; do
    run "$strings" texts $variant
done

# Every translation is found by texts in its language's variants.
column=2
for variant in r09 r16 r03 r31; do
    found=$(for f in qttestbrowser qttestbrowser_reg hb_symbian hb_symbian_reg; do "$strings" texts $f.$variant; done)
    while IFS='|' read -r source fi ru de zh; do
        target=$(echo "$source|$fi|$ru|$de|$zh" | cut -d'|' -f$column)
        echo "$found" | grep -qF "$target" || { echo "translate-apps: \"$target\" not found in *.$variant" >&2; exit 1; }
    done < glossary.txt
    column=$((column + 1))
done

# A new version of qttestbrowser: its caption changed.
mkdir v2
echo '{"1.2": "QtTestBrowser 2"}' > change.json
"$strings" apply qttestbrowser.rsc change.json -o v2/qttestbrowser.rsc >/dev/null
cp qttestbrowser_reg.rsc v2/
run "$strings" export v2/qttestbrowser.rsc v2/qttestbrowser_reg.rsc -o v2/app.pot
for lang in fi ru de zh_CN; do
    run msgmerge --quiet -o v2/$lang.po $lang.po v2/app.pot
    run msgfmt --check -o /dev/null v2/$lang.po
    run "$strings" import v2/qttestbrowser.rsc v2/qttestbrowser_reg.rsc v2/$lang.po --variant
done
run "$strings" texts v2/qttestbrowser.r16
