#!/usr/bin/env bash
# The platform boundary: no source outside src/platform (and the platform's own tests)
# includes SDL, and the vkd tool carries neither SDL nor Dear ImGui.
# Usage: check-boundaries.sh SOURCE_DIR VKD_BINARY
set -u
src=$1 vkd=$2 status=0
offenders=$(grep -rlE '#[[:space:]]*include[[:space:]]*[<"](SDL2?/)?SDL' \
  "$src/src" "$src/tests" "$src/bench" "$src/fuzz" "$src/tools" \
  --include='*.cpp' --include='*.h' | grep -v -e "^$src/src/platform/" -e "^$src/tests/platform/")
if [ -n "$offenders" ]; then
  echo "SDL included outside the platform layer:"; echo "$offenders"; status=1
fi
if ldd "$vkd" | grep -qi sdl; then echo "vkd links SDL"; status=1; fi
if nm -C "$vkd" | grep -q 'ImGui'; then echo "vkd carries Dear ImGui"; status=1; fi
exit $status
