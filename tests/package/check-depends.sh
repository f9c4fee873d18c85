#!/usr/bin/env bash
# Checks the package's Depends against what its programs really load on this machine:
#  - the libraries they link, with the least versions dpkg-shlibdeps derives from the symbols
#    they use, must each be a declared dependency of at least that version;
#  - every library ldd resolves for them, every Qt plugin Varnel loads when it starts (offscreen
#    and on an X display: platform, image formats, ...) and every library those plugins need
#    must come from a package that the declared dependencies pull in (Depends and Pre-Depends,
#    never Recommends: `apt-get install --no-install-recommends` installs no more).
# usage: check-depends.sh OUT   (what build-package.sh made)
set -euo pipefail
out=$1
root=$out/root
deb=$(echo "$out"/deb/varnel_*.deb)
work=$(mktemp -d)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# The package name at the start of a relation such as " libc6:any (>= 2.34)", into $name.
name_of() {
    name=""
    [[ $1 =~ ^[[:space:]]*([^[:space:]\(:]+) ]] && name=${BASH_REMATCH[1]}
    return 0
}

# name -> version constraint as declared ("" when none); alternatives all count as declared.
declare -A declared
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
IFS=',' read -ra items <<<"$depends"
for item in "${items[@]}"; do
    IFS='|' read -ra alternatives <<<"$item"
    for alternative in "${alternatives[@]}"; do
        name_of "$alternative"
        declared[$name]=$(sed -nE 's/.*\((.*)\).*/\1/p' <<<"$alternative")
    done
done

programs=("$root/usr/bin/Varnel" "$root/usr/bin/varnel-demo-db")

# 1. Linked libraries and their least versions.
mkdir -p "$work/shlibs/debian"
touch "$work/shlibs/debian/control"
shlibdeps=$(cd "$work/shlibs" && dpkg-shlibdeps -O "${programs[@]}" 2>"$work/shlibdeps.err") || {
    cat "$work/shlibdeps.err"
    fail "dpkg-shlibdeps failed"
}
echo "dpkg-shlibdeps: $shlibdeps"
IFS=',' read -ra items <<<"${shlibdeps#shlibs:Depends=}"
for item in "${items[@]}"; do
    name_of "$item"
    needed=$(sed -nE 's/.*\(>= *(.*)\).*/\1/p' <<<"$item")
    if [ -z "${declared[$name]+set}" ]; then
        fail "$name is linked but not a dependency"
    elif [ -n "$needed" ]; then
        have=$(sed -nE 's/^>= *(.*)/\1/p' <<<"${declared[$name]}")
        if [ -z "$have" ] || ! dpkg --compare-versions "$have" ge "$needed"; then
            fail "$name needs (>= $needed), declared (${declared[$name]})"
        fi
    fi
done

# 2. Everything the declared dependencies pull in on this machine, through virtual packages too.
declare -A provider reach
while IFS=$'\t' read -r package provides; do
    IFS=',' read -ra names <<<"$provides"
    for relation in "${names[@]}"; do
        name_of "$relation"
        [ -n "$name" ] && provider[$name]+="$package "
    done
done < <(dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Provides}\n' |
    awk -F'\t' '$1 ~ /^ii/ {print $2 "\t" $3}')
declare -A pulls
while IFS=$'\t' read -r package deps; do
    pulls[$package]=$deps
done < <(dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Depends}, ${Pre-Depends}\n' |
    awk -F'\t' '$1 ~ /^ii/ {print $2 "\t" $3}')
queue=("${!declared[@]}")
while [ "${#queue[@]}" -gt 0 ]; do
    current=${queue[-1]}
    unset 'queue[-1]'
    [ -n "${reach[$current]+set}" ] && continue
    reach[$current]=1
    for package in ${provider[$current]:-}; do
        queue+=("$package")
    done
    IFS=',|' read -ra next <<<"${pulls[$current]:-}"
    for dep in "${next[@]}"; do
        name_of "$dep"
        [ -n "$name" ] && [ -z "${reach[$name]+set}" ] && queue+=("$name")
    done
done

# 3. What Varnel loads when it starts: the plugins as Qt reports them, and every shared object
# in its memory once the login dialog is up (libraries dlopen()ed by name too, such as Xcursor).
display=""
xvfb=""
stop_xvfb() { [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null; xvfb=""; }
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_xvfb() { # a display of its own: -displayfd picks a free number
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1400x900x24 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    display=:$(cat "$work/display")
}
loaded_by() { # platform
    local log=$work/plugins-$1.log
    mkdir -p "$work/home-$1"
    env QT_DEBUG_PLUGINS=1 QT_QPA_PLATFORM="$1" DISPLAY="$display" HOME="$work/home-$1" \
        "$root/usr/bin/Varnel" >"$log" 2>&1 &
    local pid=$!
    # The splash shows the JPEG picture, then the login dialog waits for a user: stop it a
    # moment after the picture's plugin is in (or after 30 s, which fails below).
    for _ in $(seq 150); do
        grep -qE 'libqjpeg[^"]*" loaded library|loaded library "?[^"]*libqjpeg' "$log" && sleep 2 &&
            break
        sleep 0.2
    done
    grep -oE '/[^ ]+\.so(\.[0-9.]+)?$' "/proc/$pid/maps" 2>/dev/null | sort -u \
        >"$work/maps-$1" || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # Qt 6.4 writes '"PATH" loaded library'; others 'loaded library "PATH"'.
    sed -nE -e 's/.*"([^"]+\.so[^"]*)" loaded library.*/\1/p' \
        -e 's/.*loaded library "([^"]+\.so[^"]*)".*/\1/p' "$log" | sort -u
}
plugins=()
mapped=()
for platform in offscreen xcb; do
    [ "$platform" = xcb ] && start_xvfb
    loaded=$(loaded_by "$platform")
    stop_xvfb
    echo "plugins loaded on $platform:" $loaded
    for kind in "platforms/libq$platform.so" "imageformats/libqjpeg.so"; do
        grep -q "/$kind\$" <<<"$loaded" || {
            fail "$kind not loaded on $platform (log: $(tail -5 "$work/plugins-$platform.log"))"
        }
    done
    plugins+=($loaded)
    mapped+=($(cat "$work/maps-$platform"))
done

# 4. Each file to its package, and the package in reach.
libraries_of() { ldd "$1" | sed -nE 's/.*=> (\/[^ ]+) .*/\1/p; s/^\s*(\/[^ ]+) \(.*/\1/p'; }
files=()
for file in "${programs[@]}" "${plugins[@]}"; do
    files+=($(libraries_of "$file"))
done
for file in "${plugins[@]}" "${mapped[@]}"; do
    [ "${file#"$root"}" = "$file" ] && files+=("$file")
done
mapfile -t files < <(printf '%s\n' "${files[@]}" | sort -u)
# dpkg knows a file by the path its package installed, /lib or /usr/lib on a merged /usr.
candidates() {
    local real
    real=$(readlink -f "$1")
    for path in "$1" "$real"; do
        echo "$path"
        case $path in
        /usr/*) echo "${path#/usr}" ;;
        *) echo "/usr$path" ;;
        esac
    done
}
mapfile -t asked < <(for file in "${files[@]}"; do candidates "$file"; done | sort -u)
declare -A owner
while IFS= read -r line; do
    path=${line##*: }
    packages=${line%: *}
    owner[$path]=$(sed -E 's/:[a-z0-9_-]+//g; s/,//g' <<<"$packages")
done < <(dpkg -S "${asked[@]}" 2>/dev/null | grep -v '^diversion' || true)
for file in "${files[@]}"; do
    packages=""
    for path in $(candidates "$file"); do
        packages=${owner[$path]:-}
        [ -n "$packages" ] && break
    done
    if [ -z "$packages" ]; then
        fail "$file belongs to no package"
        continue
    fi
    ok=""
    for package in $packages; do
        [ -n "${reach[$package]+set}" ] && ok=1
    done
    [ -n "$ok" ] || fail "$file comes from $packages, which the dependencies do not pull in"
done
echo "checked ${#files[@]} files against ${#reach[@]} packages in reach"
[ "$failures" -eq 0 ]
