# Storing and showing on the file systems a file may live on, each made small inside the
# test and filled to the block: a text that fits is stored whole; one that does not is
# refused, the old text kept byte for byte and every block given back; a file is shown
# whole into a file elsewhere without allocating anything where it lives. On POSIX
# systems, as root: the group runs in a mount namespace of its own, so that no mount, and
# no loop device under one, outlives it however it ends.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

if [ -z "${TEXTFILE_OWN_MOUNTS:-}" ]; then
    if needs namespace; then
        cleanup
        trap - EXIT
        cd / || exit 1
        TEXTFILE_OWN_MOUNTS=1 exec unshare -m bash "$here/filesystems.sh" "$TEXTFILE" "${EMULATOR[@]}"
    fi
    finish
    exit
fi
unset TEXTFILE_OWN_MOUNTS

# Every file system is mounted under MOUNTS, itself a mount, so that one recursive unmount
# ends them all; it lies in USER_DIR, where the unprivileged user may reach it.
setup_user_dir
MOUNTS=$USER_DIR/mounts
mkdir "$MOUNTS"
trap 'umount -R -l "$MOUNTS" 2>/dev/null; cleanup; chmod -R u+rwx "$USER_DIR" 2>/dev/null; rm -rf "$USER_DIR"' EXIT
mount -t tmpfs -o size=64k,mode=755 mounts "$MOUNTS" || exit 1

# mount_new TYPE DIR [RESERVED]: a new, empty file system of TYPE mounted at DIR: a tmpfs
# of 8 MiB, or one made on an image of 8 MiB (btrfs needs 128) through a loop device,
# with RESERVED percent of an ext file system's blocks kept for root (on vfat, which has
# no owners, RESERVED other than 0 makes the user the owner of every file). The image is
# removed at once; the loop device lets go of it as the mount ends.
mount_new() {
    local type=$1 dir=$2 image=$SCRATCH/image size=8M options=loop made
    mkdir -p "$dir"
    if [ "$type" = tmpfs ]; then
        mount -t tmpfs -o size=8m tmpfs "$dir"
        return
    fi
    [ "$type" != btrfs ] || size=128M
    [ "$type" != vfat ] || [ "${3:-0}" = 0 ] || options+=,uid=$(id -u nobody),gid=$(id -g nobody)
    rm -f "$image" && truncate -s "$size" "$image"
    case $type in
    btrfs) mkfs.btrfs -q "$image" >/dev/null 2>&1 ;;
    vfat) mkfs.vfat "$image" >/dev/null ;;
    *) "mkfs.$type" -q -m "${3:-0}" "$image" ;;
    esac && mount -o "$options" "$image" "$dir"
    made=$?
    rm -f "$image"
    return $made
}

# The new texts are digits, so that a piece out of place shows; old texts are letters.
DIGITS=$USER_DIR/digits
seq 1000000 | tr -d '\n' | head -c 2000000 >"$DIGITS"
chmod 644 "$DIGITS"
ASKED="$ASK_COMMAND$ASK_NAME$ASK_TEXT"
NO_SPACE="\nError: $(error_text ENOSPC)\n"

# What sets a case up, run as the owner of its directory (as_owner), so that the space
# that user may take is what is filled.
# old_text OLD FILE: OLD letters, or for sparse:SIZE a file of SIZE bytes that holds a
# few letters at its start and end and a hole between (sparse-read:SIZE: then read through,
# which leaves the hole's pages of zeros in the page cache), or for zeros:SIZE the same with
# zeros written between, which are blocks of the file's own.
old_text() {
    case $1 in
    sparse-read:*) old_text "sparse:${1#sparse-read:}" "$2" && cat "$2" >/dev/null ;;
    sparse:*) truncate -s "${1#sparse:}" "$2" && printf 'old start' | dd of="$2" conv=notrunc status=none &&
        printf 'old end' >>"$2" ;;
    zeros:*) { printf 'old start'; head -c "$((${1#zeros:} - 16))" /dev/zero; printf 'old end'; } >"$2" ;;
    *) yes 'old text' | tr -d '\n' | head -c "$1" >"$2" ;;
    esac
}
# fill_up DIR: writes into DIR until its file system takes no more: one large file, then
# files of one byte, a block each, for the blocks the large one could not reach.
fill_up() {
    local i
    head -c 1G /dev/zero >"$1/filler" 2>/dev/null
    sync -f "$1"
    for i in $(seq 100); do printf x >"$1/scrap$i" 2>/dev/null || break; done
    sync -f "$1"
}
# prepare DIR OLD NEW ROOM DIGITS SPARE: DIR/f holds the old text OLD, and its file
# system has ROOM left for a text of NEW bytes beside the old text's own blocks: exactly
# what the text needs (exact, with SPARE blocks to spare), one block less (less), half as
# much (half), or none. What it needs is measured: a copy of the old text with the new one
# written over it takes it while the rest is filled, and is then removed. (What the old
# text holds past the new one's length is kept until the new text is whole, so its blocks
# do not count as room.)
prepare() {
    local dir=$1 i
    if [ "$4" = none ]; then
        old_text "$2" "$dir/f" && fill_up "$dir"
        return
    fi
    old_text "$2" "$dir/after" && head -c "$3" "$5" | dd of="$dir/after" conv=notrunc status=none &&
        for ((i = 0; i < $6; i++)); do printf x >"$dir/spare$i" || return; done && sync -f "$dir" || return
    fill_up "$dir"
    rm "$dir/after" && old_text "$2" "$dir/f" && sync -f "$dir" || return
    case $4 in
    exact) rm -f "$dir"/spare* ;;
    less) printf x >"$dir/less" ;;
    half) head -c $(($(stat -f -c '%a / 2 * %S' "$dir"))) /dev/zero >"$dir/half" ;;
    esac && sync -f "$dir"
}
# as_owner FUNCTION ARGS...: runs one of the functions above as OWNER.
as_owner() {
    (cd / && "${OWNER[@]}" bash -c "$(declare -f old_text fill_up prepare)"'; "$@"' bash "$@")
}

# store DIR SIZE [NAME]: a run as OWNER, in DIR, that stores the first SIZE digits in the
# file NAME (f); text.expected holds them.
store() {
    head -c "$2" "$DIGITS" >text.expected
    { printf 'create\n%s\n' "${3:-f}"; cat text.expected; printf '\n'; } >in
    (cd "$1" && timeout 120 "${OWNER[@]}" "${USER_PROGRAM[@]}") <in >out 2>err
    status=$?
}
# blocks_of FILE: FILE's blocks of 512 bytes, and its file system's free blocks, on a line.
blocks_of() {
    sync -f "$1"
    echo "$(stat -c %b "$1") $(stat -f -c %f "$1")"
}
# expect_blocks FILE BEFORE: FILE and its file system hold the blocks they held BEFORE
# (blocks_of), each within one block of the file system's.
expect_blocks() {
    local now was unit
    read -ra now <<<"$(blocks_of "$1")"
    read -ra was <<<"$2"
    unit=$(($(stat -f -c %S "$1") / 512))
    if [ $((now[0] - was[0])) -le $unit ] && [ $((was[0] - now[0])) -le $unit ] &&
        [ $((now[1] - was[1])) -le 1 ] && [ $((was[1] - now[1])) -le 1 ]; then
        pass
    else
        fail "$1 held ${was[0]} blocks of 512 bytes, now ${now[0]}; its file system had ${was[1]} free blocks, now ${now[1]}"
    fi
}
# expect_stored HOW FILE [OLD BEFORE]: the run of `store` ended as HOW says: stored (the
# text confirmed, and FILE holds it), refused (for want of room, once the text arrived:
# FILE holds the bytes of the file OLD, and the blocks it and its file system held BEFORE,
# as blocks_of told), or either. "opened-or-stored" also takes a refusal as the file was
# opened; "copied-on-write" also a refusal once a text shorter than the old one was cut to,
# which a file system that writes every block anew may give (the README says so).
expect_stored() {
    local how=$1
    if [ "$how" = copied-on-write ] && [ -s err ] && ! cmp -s "$3" "$2"; then
        expect_run "$ASKED" "$NO_SPACE"
        head -c "$(stat -c %s text.expected)" "$3" >old.cut
        expect_same old.cut "$2"
        return
    elif [ "$how" = opened-or-stored ] && [ "$(cat err)" = "Error: $(error_text ENOSPC)" ]; then
        expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text ENOSPC)\n"
        expect_same "$3" "$2"
        return
    elif [ "$how" != stored ] && [ "$how" != refused ]; then
        if [ -s err ]; then how=refused; else how=stored; fi
    fi
    if [ "$how" = stored ]; then
        expect_run "$ASKED$CREATED" ''
        expect_same text.expected "$2"
    else
        expect_run "$ASKED" "$NO_SPACE"
        expect_same "$3" "$2"
        [ -z "${4:-}" ] || expect_blocks "$2" "$4"
    fi
}

# show_all DIR: every file DIR holds, shown into a file on another file system (the
# scratch directory's): whole, and with DIR's file system holding the blocks it held.
show_all() {
    local file before
    for file in "$1"/*; do
        before=$(blocks_of "$file")
        input "open\n$file\n"
        timeout 120 "${PROGRAM[@]}" <in >out 2>err
        status=$?
        { printf '%b' "$ASK_COMMAND$ASK_LOCATION\n"; cat "$file"; printf '\n'; } >shown.expected
        expect_same shown.expected out
        expect_err ''
        expect_status 0
        expect_blocks "$file" "$before"
    done
}
# files_to_show DIR [HOLES]: a short and a long file in DIR and, given HOLES (the file
# system has holes), a sparse one eight times larger than the file system.
files_to_show() {
    mkdir "$1" && printf 'a short file' >"$1/short" && head -c 1500000 "$DIGITS" >"$1/long" &&
        { [ -z "${2:-}" ] || { truncate -s 64M "$1/sparse" && printf 'end' >>"$1/sparse"; }; }
}

# Each case: the old text (a size, or sparse:SIZE), the new text's size, and the rooms left
# for it (see prepare). Texts over 1 MiB are kept aside until their line has ended.
matrix=(
    "100000 300000 exact less half none"         # more than the old text: fits only with its blocks
    "300000 100000 none"                         # less than the old text
    "200000 200000 none"                         # as much
    "sparse:200000 500000 exact less half"       # a sparse old text, shorter than the new one
    "sparse:2000000 500000 exact less half none" # ... or longer, yet with fewer blocks than it needs
    "sparse-read:2000000 500000 less half"       # ... whose hole was read before
    "zeros:200000 500000 half"                   # blocks of zeros, which are the file's own
    "9 1024000 exact half"                       # most of the input block, over a few bytes
    "1000000 1500000 exact less half none"
    "1600000 1500000 none"
)
# As the user, the cases where what that user may take decides.
user_matrix=(
    "100000 300000 exact less half"
    "sparse:2000000 500000 exact half"
    "1000000 1500000 exact half"
)
for fs in ext2 ext3 ext4 tmpfs vfat; do
    case_name="$fs: texts stored by the block, files shown"
    if [ $fs = tmpfs ]; then needs fs:tmpfs; else needs loop "mkfs:$fs" "fs:$fs"; fi || continue
    # Where ext4 puts a file's extents is its allocator's choice, and a text may take a
    # block or two more or less for them, so its exact room has two blocks to spare.
    spare=0
    [ $fs != ext4 ] || spare=2
    # As root, and as a user, for whom an ext file system keeps blocks back.
    for who in root user; do
        mnt=$MOUNTS/$fs-$who
        if [ $who = root ]; then
            OWNER=() reserved=0 cases=("${matrix[@]}")
        else
            OWNER=("${AS_USER[@]}") reserved=5 cases=("${user_matrix[@]}")
        fi
        mount_new $fs "$mnt" $reserved || { fail "no $fs file system could be made" && continue; }
        for entry in "${cases[@]}"; do
            read -r old new rooms <<<"$entry"
            # vfat has no holes.
            [[ $fs != vfat || $old != sparse* ]] || continue
            for room in $rooms; do
                test_case "$fs, as $who: an old text of $old, a new one of $new, with room $room"
                rm -rf "$mnt/work" && mkdir "$mnt/work"
                [ $who = root ] || [ $fs = vfat ] || chown nobody:nogroup "$mnt/work"
                if ! as_owner prepare "$mnt/work" "$old" "$new" "$room" "$DIGITS" "$spare"; then
                    fail "the case could not be set up"
                    continue
                fi
                cp "$mnt/work/f" old.expected
                before=$(blocks_of "$mnt/work/f")
                # Where holes are filled with zeros rather than reserved (ext2, ext3, or a
                # build without fallocate), those filled before a refusal keep their blocks (the
                # README says so).
                [[ $old != sparse* ]] || { ! built_without FALLOC_FL_KEEP_SIZE && [[ $fs != ext[23] ]]; } ||
                    before=
                store "$mnt/work" "$new"
                # It may just fit in one block less than measured, where metadata takes less.
                case $room in
                exact) how=stored ;;
                less) how=either ;;
                half) how=refused ;;
                none) if [[ $old != sparse* ]] && [ "$old" -ge "$new" ]; then how=stored; else how=refused; fi ;;
                esac
                expect_stored "$how" "$mnt/work/f" old.expected "$before"
            done
        done
        if [ $who = root ]; then
            test_case "$fs: files are shown whole into a file elsewhere, allocating nothing"
            rm -rf "$mnt/work"
            # (vfat has no holes.)
            if files_to_show "$mnt/shown" "${fs/vfat/}"; then show_all "$mnt/shown"; else fail "the files to show could not be made"; fi
        fi
        umount "$mnt"
    done
done
OWNER=()

# A text over the old one, shorter or longer, to a file system with room and to a full one.
pairs=("300000 100000" "100000 300000" "1000000 1500000" "1600000 1500000")

case_name="btrfs: copy on write"
if needs loop mkfs:btrfs fs:btrfs && { mount_new btrfs "$MOUNTS/btrfs" || fail "no btrfs could be made"; }; then
    # Where every block written over is a new one, a full file system may refuse even a
    # shorter text, once the file was cut to its length.
    mnt=$MOUNTS/btrfs
    for full in '' full; do
        for pair in "${pairs[@]}"; do
            read -r old new <<<"$pair"
            test_case "btrfs${full:+, full}: an old text of $old, a new one of $new"
            rm -rf "$mnt/work" && mkdir "$mnt/work" && as_owner old_text "$old" "$mnt/work/f"
            [ -z "$full" ] || as_owner fill_up "$mnt/work"
            cp "$mnt/work/f" old.expected
            before=$(blocks_of "$mnt/work/f")
            store "$mnt/work" "$new"
            if [ -z "$full" ]; then how=stored; else how=copied-on-write; fi
            expect_stored "$how" "$mnt/work/f" old.expected "$before"
        done
    done
    test_case "btrfs: files are shown whole into a file elsewhere, allocating nothing"
    rm -rf "$mnt/work"
    if files_to_show "$mnt/shown" sparse; then show_all "$mnt/shown"; else fail "the files to show could not be made"; fi
    umount "$mnt"
fi

case_name="overlay: one file, two mounts"
# lower_files DIR: the old texts of the overlay's cases, in its lower layer.
lower_files() {
    local pair old new
    for pair in "${pairs[@]}"; do
        read -r old new <<<"$pair"
        old_text "$old" "$1/$old" && old_text "$old" "$1/full-$old" || return
    done
}
# The lower layer and the upper one on file systems of their own.
lower=$MOUNTS/lower upper=$MOUNTS/upper merged=$MOUNTS/overlay
if ! needs fs:overlay fs:tmpfs; then
    :
elif ! { mount_new tmpfs "$lower" && mount_new tmpfs "$upper" && mkdir "$upper/data" "$upper/work" "$merged" &&
    lower_files "$lower" &&
    mount -t overlay -o "lowerdir=$lower,upperdir=$upper/data,workdir=$upper/work" overlay "$merged"; }; then
    fail "no overlay could be made"
else
    for full in '' full; do
        # Filled, a lower file cannot be copied up, nor an upper one take more.
        [ -z "$full" ] || { old_text 100000 "$merged/full-upper" && fill_up "$upper"; }
        for pair in "${pairs[@]}" ${full:+"100000 300000 upper"}; do
            read -r old new where <<<"$pair"
            name=${full:+full-}${where:-$old}
            test_case "overlay${full:+, full}: an old text of $old${where:+ in the upper layer}, a new one of $new"
            cp "$merged/$name" old.expected
            store "$merged" "$new" "$name"
            if [ -z "$full" ]; then
                expect_stored stored "$merged/$name"
                # The lower layer is never written.
                expect_same old.expected "$lower/$name"
            else
                expect_stored opened-or-stored "$merged/$name" old.expected
            fi
        done
    done
    rm "$upper"/filler "$upper"/scrap*

    test_case "overlay: the file standard output writes to, reached through the other mount, is shown as far as it reached"
    # Standard output leads to the file through the overlay; the program opens it in the
    # upper layer, as another device and inode.
    input "open\n$upper/data/own\n"
    : >"$merged/own"
    timeout 60 "${PROGRAM[@]}" <in >"$merged/own" 2>err
    status=$?
    expect_bytes "$merged/own" "$ASK_COMMAND$ASK_LOCATION\n$ASK_COMMAND$ASK_LOCATION\n\n"
    expect_err ''
    expect_status 0
    rm "$merged/own"

    test_case "overlay: files are shown whole into a file elsewhere, allocating nothing"
    if files_to_show "$merged/shown" sparse; then show_all "$merged/shown"; else fail "the files to show could not be made"; fi
fi

case_name="read-only: every change refused"
writable=$MOUNTS/writable read_only=$MOUNTS/read-only
if ! needs fs:tmpfs; then
    :
elif ! { mount_new tmpfs "$writable" && files_to_show "$writable/shown" && mkdir "$read_only" &&
    mount --bind "$writable" "$read_only" && mount -o remount,bind,ro "$read_only"; }; then
    fail "no read-only mount could be made"
else
    test_case "on a read-only mount, create is refused and changes nothing; open shows the file"
    for name in short new; do
        input "create\n$read_only/shown/$name\nnew text\n"
        run
        expect_run "$ASK_COMMAND$ASK_NAME" "Error: $(error_text EROFS)\n"
    done
    expect_bytes "$writable/shown/short" 'a short file'
    expect_missing "$writable/shown/new"
    show_all "$read_only/shown"
fi

finish
