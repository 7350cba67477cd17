# Waiting for processes, for the end-to-end scripts. Sourced, not run.

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# True once the process has ended (a zombie counts: it handles nothing any more).
ended() { ! kill -0 "$1" 2>/dev/null || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]; }

# Waits up to $2 milliseconds for process $1 to end.
wait_end() {
    local deadline=$(($(now_ms) + $2))
    while ! ended "$1"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.01
    done
}
