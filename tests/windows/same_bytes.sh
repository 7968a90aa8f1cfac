#!/bin/sh
# Converts the bundled examples, with the switches that change the output's
# form, with both the Linux executable and the Windows one (under Wine), and
# fails on any difference in exit code, standard output, standard error (line
# ends aside: the console's text mode writes CR LF there) or any file written.
#
# Usage: same_bytes.sh LINUX_EXE WINDOWS_EXE SOURCE_DIR WORK_DIR
set -u
linux_exe=$1
windows_exe=$2
src=$3
work=$4
export TESSALOOM_HEADLESS=1
# Wine reads Linux file names in the locale's character set; the names made
# below are UTF-8.
export LC_ALL=C.UTF-8
if [ ! -x "$linux_exe" ]; then
    echo "same_bytes: no Linux executable to compare with ('$linux_exe'): configure with -DTESSALOOM_LINUX_EXE=build/tessaloom after building it (make windows does)"
    exit 77
fi

rm -rf "$work"
mkdir -p "$work"
failed=0
cases=0

# check NAME INPUT OUTPUT [SWITCHES...]
check() {
    name=$1
    input=$2
    output=$3
    shift 3
    case "$input" in
    /*) path=$input ;;
    *) path=$src/$input ;;
    esac
    cases=$((cases + 1))
    mkdir -p "$work/$name/linux" "$work/$name/windows"
    (cd "$work/$name/linux" && "$linux_exe" object "$path" "$output" "$@" \
        >../linux.out 2>../linux.err; echo $? >../linux.code)
    (cd "$work/$name/windows" && wine "$windows_exe" object "$path" "$output" "$@" \
        >../windows.out 2>../windows.err; echo $? >../windows.code)
    tr -d '\r' <"$work/$name/windows.err" >"$work/$name/windows.err.lf"
    if ! cmp -s "$work/$name/linux.code" "$work/$name/windows.code" ||
       ! cmp -s "$work/$name/linux.out" "$work/$name/windows.out" ||
       ! cmp -s "$work/$name/linux.err" "$work/$name/windows.err.lf" ||
       ! diff -r "$work/$name/linux" "$work/$name/windows" >/dev/null; then
        echo "DIFFERENT: $name ($input $output $*)"
        echo "  exit codes: linux $(cat "$work/$name/linux.code"), windows $(cat "$work/$name/windows.code")"
        diff -r "$work/$name/linux" "$work/$name/windows"
        cmp "$work/$name/linux.out" "$work/$name/windows.out"
        diff "$work/$name/linux.err" "$work/$name/windows.err.lf"
        failed=$((failed + 1))
    elif [ -z "$(ls "$work/$name/linux")" ] && [ "$(cat "$work/$name/linux.code")" = 0 ]; then
        echo "NOTHING WRITTEN: $name"
        failed=$((failed + 1))
    fi
}

# Textured, rigged and animated, with a collision-free pedestal.
check demo examples/demo/demo.objex demo.zobj
check demo-link examples/demo/demo.objex demo.zobj -l -s 512 -o 0x06001000
check demo-nh examples/demo/demo.objex demo.zobj -nh
check demo-cz examples/demo/demo.objex demo.c -cz
check demo-cz-tt examples/demo/demo.objex demo.c -cz -tt -mc
# Textures of every format, palettes and banks; collision with surface
# types and water boxes; matrices on a skeleton; play-as data; UV fixing.
check textures examples/guide/textures.objex textures.zobj
check banks examples/guide/banks.objex banks.zobj
check materials examples/guide/materials.objex materials.zobj
check combiner examples/guide/combiner.objex combiner.zobj
check collision examples/guide/collision.objex collision.zobj
check matrices examples/guide/matrices.objex matrices.zobj
check playas examples/guide/playas.objex playas.zobj -p
check uv examples/guide/uv.objex uv.zobj -uv
# Names beyond ASCII, in UTF-8: the folder, the geometry file, the material
# library and texture it names, and the object written.
utf8="$work/source/modèle"
mkdir -p "$utf8"
sed 's/combiner\.mtl/ñ.mtl/' "$src/examples/guide/combiner.objex" >"$utf8/ñ.objex"
sed 's/brick\.png/é.png/g' "$src/examples/guide/combiner.mtl" >"$utf8/ñ.mtl"
cp "$src/examples/guide/brick.png" "$utf8/é.png"
check utf8 "$utf8/ñ.objex" ü.zobj
# A failing conversion: the same message and exit code, and no files.
check missing examples/guide/none.objex none.zobj

echo "$((cases - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
