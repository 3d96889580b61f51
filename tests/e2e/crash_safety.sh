#!/usr/bin/env bash
# One end-to-end case of the crash-safety suite: crash_safety.sh CASE HALVARDINE_BINARY. The game
# is killed outright again and again while it saves; what it saved must survive every kill.
set -uo pipefail
case_name=$1
bin=$2
source "$(dirname "$0")/lib.sh"

# Save number i of either store: its number, a run of the digit i % 10 whose length depends on i,
# and the number again. A file torn, cut short or mixed from two saves cannot look like this.
# Sets $expected to save $1 of a store whose file begins with $2.
expected_store() {
    local n=$1 pad=$(($1 % 10)) length=$((1000 + ($1 * 7919) % 20000))
    while [ ${#pad} -lt "$length" ]; do pad=$pad$pad; done
    pad=${pad:0:length}
    printf -v expected '%sn=%s\r\npad=%s\r\nend=%s\r\n' "${2:-}" "$n" "$pad" "$n"
}
# Sets $saved to the save number the store file $1 holds; fails unless it is whole save.
check_store() {
    local file=$1 head=${2:-} content=""
    [ -f "$file" ] || fail "$file is gone after kill $kills"
    IFS= read -r -d '' content < "$file"
    [ -n "$content" ] || fail "$file is empty after kill $kills"
    saved=${content#"${head}n="}
    saved=${saved%%$'\r'*}
    [[ $saved =~ ^[0-9]+$ ]] || fail "$file does not begin as a save after kill $kills"
    expected_store "$saved" "$head"
    [ "$content" = "$expected" ] ||
        fail "$file is not whole save $saved after kill $kills (${#content} bytes)"
}

case "$case_name" in
kill_while_saving)
    # Each run goes on from the save number in the settings and saves the profile, then the
    # settings, without end. The settings also turn the log's hints off, so that the log does
    # not grow with every save.
    script <<'LUA'
local function store(i)
  local pad = string.rep(tostring(i % 10), 1000 + (i * 7919) % 20000)
  return "n=" .. i .. ";pad=" .. pad .. ";end=" .. i .. ";"
end
function A_Init()
  local i, params = 0, {GetParamsFromCode()}
  for k = 2, #params, 2 do
    if params[k] == "n" then i = tonumber(params[k + 1]) end
  end
  while true do
    i = i + 1
    SetProfileToCode(store(i))
    SetParamsToCode("detalizationmode=1;" .. store(i))
  end
end
LUA
    # No window is needed: the game starts fastest drawing off screen.
    export SDL_VIDEODRIVER=offscreen
    kills_wanted=${HALVARDINE_CRASH_KILLS:-500}
    params_head="detalizationmode=1"$'\r\n'
    # A pipe nobody writes to: reading it with a time limit sleeps without starting a process.
    exec {sleeper}<> <(:)

    # Kills the game $2 times, each at a random moment 10 to 40 ms into its saving, with
    # per-user folder number $1, and checks the stores after every kill. Prints the number of
    # the last save.
    kill_and_check() {
        export APPDATA="$game/appdata$1"
        local user="$APPDATA/My Games/Orvandel/Halvardine" wanted=$2 profile params waited
        local profile_before=0 params_before=0 marker="$game/started$1"
        # A lane stopped from outside takes its game with it.
        trap 'kill -9 "$pid" 2>/dev/null; exit 1' TERM
        mkdir -p "$user"
        expected_store 0
        printf '%s' "$expected" > "$user/Profile.txt"
        expected_store 0 "$params_head"
        printf '%s' "$expected" > "$user/GameParams.txt"
        for ((kills = 1; kills <= wanted; kills++)); do
            touch "$marker"
            "$bin" -w > "out$1.txt" 2> "err$1.txt" &
            pid=$!
            waited=0
            until [ "$user/Profile.txt" -nt "$marker" ]; do
                kill -0 "$pid" 2>/dev/null || fail "the game ended without saving: $(cat "err$1.txt")"
                # A start is well under a second; a loaded machine running the sanitizer build
                # once took over 20 s, so only a minute without a save counts as a hang.
                [ $((waited += 1)) -lt 30000 ] || {
                    kill -9 "$pid"
                    fail "no save within 60 s (kill $kills); stderr: $(tail -n 5 "err$1.txt")"
                }
                read -r -t 0.002 -u "$sleeper"
            done
            read -r -t "0.0$((RANDOM % 31 + 10))" -u "$sleeper"
            kill -9 "$pid" 2>/dev/null || fail "the game ended by itself: $(cat "err$1.txt")"
            wait "$pid" 2>/dev/null

            check_store "$user/Profile.txt"
            profile=$saved
            check_store "$user/GameParams.txt" "$params_head"
            params=$saved
            # Nothing saved is lost: neither store goes back.
            [ "$profile" -ge "$profile_before" ] && [ "$params" -ge "$params_before" ] ||
                fail "a store went back from $profile_before/$params_before to $profile/$params"
            # The profile of save i is written before the settings of save i, and each run
            # begins after the last save of the settings.
            [ "$params" -eq "$profile" ] || [ "$params" -eq $((profile - 1)) ] ||
                fail "settings of save $params beside profile of save $profile at kill $kills"
            profile_before=$profile
            params_before=$params
        done
        echo "$profile"
    }

    # Two games at a time, each with stores of its own, so that the starts fill both cores.
    began=$(date +%s%N)
    kill_and_check 1 $((kills_wanted / 2)) > saves1.txt &
    lanes=($!)
    kill_and_check 2 $((kills_wanted - kills_wanted / 2)) > saves2.txt &
    lanes+=($!)
    # A lane that fails stops the other.
    wait -n || { kill "${lanes[@]}" 2>/dev/null; wait; exit 1; }
    wait -n || exit 1
    ms=$((($(date +%s%N) - began) / 1000000))
    echo "$kills_wanted kills in $((ms / 1000)).$((ms % 1000 / 100)) s, each 10 to 40 ms into" \
         "saving, $(($(cat saves1.txt) + $(cat saves2.txt))) saves in all: every store whole"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$case_name]"
