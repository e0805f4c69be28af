#!/usr/bin/env bash
# The core's layers point one way: serial <- protocol <- pages <- link <- the
# tools (firmware, report, accessories) and the host session <- the programs (cli, ui). A file may
# include its own layer and the layers below it, never one above; and nothing
# outside src/ui includes Qt.
set -u
src="$(cd "$(dirname "$0")/../src" && pwd)"
rank() {
    case "$1" in
        money) echo 0 ;; serial) echo 0 ;; protocol) echo 1 ;; pages) echo 2 ;; link) echo 3 ;;
        firmware|report|accessories|capture|host|service) echo 4 ;; cli|ui|daemon) echo 5 ;; *) echo -1 ;;
    esac
}
status=0
while IFS= read -r file; do
    layer=${file#"$src"/}; layer=${layer%%/*}
    own=$(rank "$layer")
    [ "$own" -lt 0 ] && continue
    while IFS= read -r inc; do
        target=${inc%%/*}
        r=$(rank "$target")
        # The money rules stand alone: nothing of the line or of the link.
        if [ "$layer" = money ] && [ "$target" != money ]; then r=99; fi
        if [ "$r" -gt "$own" ]; then
            echo "layering: ${file#"$src"/} ($layer) includes \"$inc\" ($target, a higher layer)"
            status=1
        fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    if [ "$layer" != ui ] && grep -q '^#include <Q' "$file"; then
        echo "layering: ${file#"$src"/} includes Qt outside src/ui"
        status=1
    fi
done < <(find "$src" -name '*.h' -o -name '*.cpp')
exit $status
