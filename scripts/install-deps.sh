#!/bin/sh
# Installs the Debian 12 packages Vantix needs to build, test and run.
set -e
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
    g++ cmake ninja-build pkg-config \
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-svg-dev \
    libgl-dev libboost-dev libsqlite3-dev sqlite3 libqhull-dev \
    libpq-dev libmariadb-dev postgresql mariadb-server \
    googletest libgtest-dev libgmock-dev libbenchmark-dev \
    xvfb xauth libgl1-mesa-dri fonts-dejavu-core \
    qt6-qpa-plugins imagemagick \
    desktop-file-utils libxml2-utils \
    clang libclang-rt-14-dev
