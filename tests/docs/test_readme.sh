#!/usr/bin/env bash
# The README's two set-up commands are the ones the project runs: the run
# script, and the test command that CI (.ci/run) runs. Each names a script
# that exists and installs what is missing first, as the README says.
set -u
src=${KOLVENA_SRC_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

# The indented command lines of the README's section for developers.
mapfile -t cmds < <(sed -n '/^## For developers/,/^## /p' "$src/README.md" | sed -n 's/^    \(.*\)/\1/p')
[ ${#cmds[@]} = 2 ] || fail "README's section for developers has ${#cmds[@]} commands, not 2: ${cmds[*]}"
ci=$(sed -n 's/^exec //p' "$src/.ci/run")
[ "${cmds[0]:-}" = "bash scripts/run.sh" ] || fail "README's first command is '${cmds[0]:-}', not the run script"
[ "${cmds[1]:-}" = "$ci" ] || fail "README's second command is '${cmds[1]:-}', .ci/run runs '$ci'"
for c in "${cmds[@]}"; do
  script=$src/${c#bash }
  [ -f "$script" ] || { fail "'$c' names no script"; continue; }
  grep -q '^bash scripts/deps.sh$' "$script" || fail "'$c' does not install what is missing first"
done

if [ $fails -ne 0 ]; then echo "$fails check(s) failed"; exit 1; fi
echo "all checks passed: README runs '${cmds[0]}' and '${cmds[1]}', as the project does"
