#!/usr/bin/env bash
# The installed tree: `cmake --install` into a temporary prefix, then the programs and the
# Python package run from there, as a user of the install would run them.
# Arguments: the build folder, the project's version, 1 when the GUI (pictures) is built, and
# the Python interpreter of the module (when it is built).
set -euo pipefail
build=$1
version=$2
pictures=$3
python=${4:-python3}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

batch=$prefix/bin/kestrium-batch
[ -x "$batch" ] || { echo "FAIL: no bin/kestrium-batch under the prefix"; exit 1; }
[ "$("$batch" --version)" = "kestrium-batch $version" ] || { echo "FAIL: --version says $("$batch" --version)"; exit 1; }

mkdir "$prefix/work"
cd "$prefix/work"
"$batch" defaults KTparam.par >/dev/null
if [ "$pictures" = 1 ]; then
  # The page's logo comes from share/kestrium of the installed tree.
  "$batch" KTparam.par --png page.png >/dev/null
  [ "$(head -c 4 page.png | tail -c 3)" = PNG ] || { echo "FAIL: no picture"; exit 1; }
else
  "$batch" KTparam.par >/dev/null
fi
[ -s Data1K.dat ] || { echo "FAIL: the run wrote no kinetics line"; exit 1; }

package=$(find "$prefix" -path '*/kestrium/__init__.py' -print -quit)
if [ -n "$package" ]; then
  site=$(dirname "$(dirname "$package")")
  PYTHONPATH=$site PYTHONDONTWRITEBYTECODE=1 "$python" -c "
import kestrium, sys
assert kestrium.__version__ == sys.argv[1], kestrium.__version__
assert kestrium.__file__.startswith(sys.argv[2]), kestrium.__file__
" "$version" "$site"
fi
echo "ok: the installed kestrium-batch $version ran${package:+; the installed Python package imports}"
