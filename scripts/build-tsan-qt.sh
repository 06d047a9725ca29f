#!/usr/bin/env bash
# Builds Qt Core, Network and Test from Debian's own source of the installed Qt, instrumented for
# ThreadSanitizer, into <folder>/lib and <folder>/plugins.
#   build-tsan-qt.sh <folder>
#
# Debian's Qt is not instrumented, so ThreadSanitizer cannot see the locks inside it: every hand-over
# through a queued signal, a thread pool or an event loop then reads as a race in the code on either
# side. The ThreadSanitizer tests load these libraries in place of the system's; the programs and
# headers stay the ones built against Debian's Qt, so the source must be that very version. The
# first run downloads about 46 MB and takes the better part of an hour on two cores; later runs
# only check that the build matches the installed version.
set -euo pipefail

folder=$(mkdir -p "$1" && cd "$1" && pwd)
version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
stamp="$folder/built-from-$version"
if [ -e "$stamp" ]; then
    exit 0
fi

upstream=${version#*:}
upstream=${upstream%-*}
source="$folder/src"
if [ ! -d "$source/src/corelib" ]; then
    download="$folder/download"
    mkdir -p "$download"
    cd "$download"
    files=("qt6-base_${version#*:}.dsc" "qt6-base_${upstream}.orig.tar.xz" "qt6-base_${version#*:}.debian.tar.xz")
    for file in "${files[@]}"; do
        [ -s "$file" ] && continue
        # A release of the distribution, or an update published through its security archive.
        curl -fsS --retry 3 -o "$file.part" "https://deb.debian.org/debian/pool/main/q/qt6-base/$file" ||
            curl -fsS --retry 3 -o "$file.part" \
                "https://deb.debian.org/debian-security/pool/updates/main/q/qt6-base/$file"
        mv "$file.part" "$file"
    done
    rm -rf "$source"
    # Checks the files against the checksums of the .dsc and applies Debian's patches.
    dpkg-source -x "${files[0]}" "$source"
    # It also leaves a copy of the upstream tarball beside the source.
    rm -f "$folder/${files[1]}"
fi

cmake -S "$source" -B "$folder/build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-gline-tables-only -DCMAKE_CXX_FLAGS=-gline-tables-only \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
    -DFEATURE_sanitize_thread=ON -DFEATURE_rpath=OFF \
    -DBUILD_EXAMPLES=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_gui=OFF -DFEATURE_widgets=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_testlib=ON -DFEATURE_network=ON -DFEATURE_ssl=ON -DFEATURE_openssl_linked=OFF \
    -DFEATURE_libproxy=OFF \
    -DFEATURE_mimetype_database=OFF -DFEATURE_glib=ON -DFEATURE_icu=ON -DFEATURE_doubleconversion=ON \
    -DFEATURE_system_pcre2=ON -DFEATURE_system_zlib=ON -DFEATURE_system_libb2=ON
cmake --build "$folder/build" --target Core Network Test QTlsBackendOpenSSLPlugin

rm -rf "$folder/lib" "$folder/plugins"
ln -s build/lib "$folder/lib"
ln -s build/plugins "$folder/plugins"
touch "$stamp"
