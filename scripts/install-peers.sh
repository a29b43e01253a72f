#!/bin/sh
# Installs the Debian packages of the peer pipelines the end-to-end benchmark
# compares against (bench/e2e): gnuplot with mawk, and pandas + matplotlib
# (also needed by the data generator). The benchmark skips a peer whose
# packages are missing, so this is optional.
set -e
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
    gnuplot-nox mawk python3-numpy python3-pandas python3-matplotlib time
