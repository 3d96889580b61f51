#!/usr/bin/env bash
# One end-to-end case of frame pacing: pacing.sh CASE BINARY. A game counts its frames over two
# seconds of the times the host gives it, and the processor time it used, into pace.txt.
set -uo pipefail
case_name=$1
bin=$2
source "$(dirname "$0")/lib.sh"

script <<'LUA'
function A_Init()
  SetSystemResolution(640, 480)
end
function A_Update(t)
  DrawLine(10, 10, 100, 100, 0xFFFFFF, 255, true)
  if not start then
    start, cpu, frames = t, os.clock(), 0
    return
  end
  frames = frames + 1
  if t - start >= 2000 then
    local seconds = (t - start) / 1000
    InitLogFile("pace.txt")
    WriteToLogFile(string.format("%d %.3f", frames / seconds, (os.clock() - cpu) / seconds))
    QuitGame()
  end
end
function A_Loading() end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function G_EndGame() end
LUA

# pace.txt as "<frames per second> <cores busy>".
read_pace() {
    [ -f "$user/pace.txt" ] || fail "no pace.txt; stderr: $(cat err.txt)"
    read -r fps cores < <(tr -d '\r' < "$user/pace.txt")
}

case "$case_name" in
paced_to_the_display)
    # Xvfb does not wait for a retrace: the loop holds itself to the display's rate (60 Hz
    # where the display tells none) and leaves the processor idle in between.
    unset HALVARDINE_VSYNC
    run -w "[640,480]"
    expect_code 0
    read_pace
    [ "$fps" -le 66 ] || fail "$fps frames per second with the display's wait on"
    [ "$fps" -ge 20 ] || fail "only $fps frames per second"
    awk -v c="$cores" 'BEGIN { exit !(c < 0.5) }' || fail "$cores cores busy for a still scene"
    ;;
free_running_without_vsync)
    # HALVARDINE_VSYNC=0: neither the wait nor the pacing; frames follow as fast as they are made.
    HALVARDINE_VSYNC=0 vblank_mode=0 run -w "[640,480]"
    expect_code 0
    read_pace
    [ "$fps" -gt 90 ] || fail "only $fps frames per second without the display's wait"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "ok [$case_name]"
