#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent:
# packages already present are left alone, and nothing runs when all are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev          # libFuzzer targets
  libpcre2-dev                      # rule and type patterns
  libhyperscan-dev                  # one scan of a value for all attack rules
  libboost-dev                      # Asio and Beast for the interception layer
  libsystemd-dev                    # sd_notify for the service under systemd
  libgtest-dev libgmock-dev         # unit tests
  libbenchmark-dev                  # engine benchmarks
  nginx-light curl                  # the web server and client of the demo
  wrk                               # the load benchmark's client
  qt6-base-dev                      # the console and the updater's window
  libcurl4-openssl-dev              # the updater's HTTP requests
  p7zip-full                        # the updater's packages and report archive
  python3-pyftpdlib                 # the FTP server of the updater's tests
  xvfb xauth                        # a desktop for trying the console by hand
  fonts-wqy-microhei                # Chinese captions in the console and its renders
  faketime                          # the service's daily settings write, at 01:00 in a test
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
