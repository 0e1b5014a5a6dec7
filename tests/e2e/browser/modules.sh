#!/usr/bin/env bash
# puppeteer-core for the office page's browser test, from the npm registry as the lock file pins it, kept in the
# user's cache under the lock file's hash: fresh clones share one install, and a new lock gets its own.
# Usage: modules.sh path      prints the node_modules folder (missing until installed)
#        modules.sh install   installs it when missing
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
hash=$(sha256sum "$here/package-lock.json" | cut -c1-16)
dir="${XDG_CACHE_HOME:-$HOME/.cache}/lingchao/browser-$hash"
case "${1:-path}" in
path) echo "$dir/node_modules" ;;
install)
    [ -f "$dir/node_modules/puppeteer-core/package.json" ] && exit 0
    rm -rf "$dir.tmp"
    mkdir -p "$dir.tmp"
    cp "$here/package.json" "$here/package-lock.json" "$dir.tmp/"
    echo "Installing puppeteer-core into $dir"
    # Only the library: the browser is Debian's chromium.
    PUPPETEER_SKIP_DOWNLOAD=1 npm ci --prefix "$dir.tmp" --no-audit --no-fund --loglevel=error
    rm -rf "$dir"
    mv "$dir.tmp" "$dir"
    ;;
*)
    echo "usage: $0 path|install" >&2
    exit 2
    ;;
esac
