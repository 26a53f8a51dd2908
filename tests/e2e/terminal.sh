# The dialogue on a real terminal (tmux): prompts are on the screen before the program
# waits, the screen reads as a conversation, and Ctrl+C at the text prompt keeps a file.
. "$(dirname "$0")/lib.sh"

command -v tmux >/dev/null || { echo "FAIL: tmux is needed for the terminal tests"; exit 1; }
export TERM=xterm
sessions=0
tmux_() { tmux -S "$SCRATCH/tmux.$sessions" "$@"; }
trap 'for socket in "$SCRATCH"/tmux.*; do tmux -S "$socket" kill-server 2>/dev/null; done; cleanup' EXIT

# session.sh runs the program and records its exit status in the file `status`. Its trap
# keeps the shell alive through Ctrl+C; a trapped signal is not inherited as ignored, so
# Ctrl+C reaches the program as on any terminal.
program=$(printf '%q ' "${PROGRAM[@]}")
cat >session.sh <<EOS
trap : INT
$program
echo \$? >status
sleep 600
EOS

# start: runs the program in a new terminal.
start() {
    rm -f status
    tmux_ kill-server 2>/dev/null
    sessions=$((sessions + 1))
    tmux_ new-session -d -x 120 -y 30 -c "$SCRATCH" "bash session.sh"
}
screen() { tmux_ capture-pane -p -S 0 2>/dev/null | sed -e 's/ *$//' -e '/^$/N;/^\n$/D' >screen; }
screen_shows() { screen && grep -qF -- "$1" screen; }
# wait_screen TEXT: waits until the screen shows TEXT.
wait_screen() { eventually "the screen to show '$1'" screen_shows "$1" || cat screen; }
type_line() { tmux_ send-keys -l -- "$1" && tmux_ send-keys Enter; }
wait_status() {
    eventually "the program to end" test -s status && status=$(cat status)
}

test_case "a create session reads as a conversation, which the end of input ends for good"
start
wait_screen 'Please enter a command:'
type_line create
wait_screen 'Please enter a name for the new file:'
type_line typed.txt
wait_screen 'placed in the file:'
type_line 'typed on a terminal'
wait_status
expect_status 0
screen
head -6 screen >out
expect_out 'Please enter a command: create\nPlease enter a name for the new file: typed.txt\n\nPlease enter the text you would like to be placed in the file:\ntyped on a terminal\nFile created sucessfully!\n'
expect_bytes typed.txt 'typed on a terminal'
# Ctrl+D twice in the middle of the command word: the word is what came before, and the
# name, asked for after the end of input, is empty.
start
wait_screen 'Please enter a command:'
tmux_ send-keys -l create && tmux_ send-keys C-d C-d
wait_screen "Error: $(error_text ENOENT)"
wait_status
expect_status 0

test_case "Ctrl+C at the text prompt leaves an existing file as it was"
printf 'precious' >kept.txt
start
wait_screen 'Please enter a command:'
type_line create
wait_screen 'Please enter a name for the new file:'
type_line kept.txt
wait_screen 'placed in the file:'
tmux_ send-keys C-c
wait_status
expect_status 130
expect_bytes kept.txt 'precious'

test_case "input that fails at the text prompt leaves the file as it was"
# Sent to the background, the program may no longer read its terminal: with SIGTTIN
# ignored, the read fails (EIO) instead of stopping it.
printf 'precious' >kept.txt
sessions=$((sessions + 1))
tmux_ new-session -d -x 120 -y 30 -c "$SCRATCH" "bash --norc --noprofile -i"
type_line "(trap '' TTIN; exec $program)"
wait_screen 'Please enter a command:'
type_line create
wait_screen 'Please enter a name for the new file:'
type_line kept.txt
wait_screen 'placed in the file:'
tmux_ send-keys C-z
wait_screen 'Stopped'
type_line bg
wait_screen "Error: $(error_text EIO)"
expect_bytes kept.txt 'precious'
if grep -q 'File created' screen; then fail "the text was confirmed"; else pass; fi

finish
