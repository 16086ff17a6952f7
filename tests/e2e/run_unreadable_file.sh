#!/bin/sh
# The main road with a file the program cannot read: the walk must print the program's own error
# and fail. A name that is not valid UTF-8 is refused for anyone, root included, where permissions
# would not stop root. Usage: run_unreadable_file.sh TAVREL SHARE SERVICE SHOTS
set -eu
here=$(cd "$(dirname "$0")" && pwd)
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/Broken"
printf 'fine\n' >"$folder/Broken/fine.txt"
printf 'unreadable\n' >"$folder/Broken/$(printf 'bad\377name.txt')"
status=0
sh "$here/virtual_session.sh" --tavrel "$1" --share "$2" --service "$3" --shots "$4" "$folder/Broken" >"$folder/output" 2>&1 || status=$?
cat "$folder/output"
[ "$status" -ne 0 ] || { echo "the walk passed with an unreadable file"; exit 1; }
grep -q "^Tavrel says: .*couldn’t read" "$folder/output" || { echo "the program's error was not printed"; exit 1; }
echo "The unreadable file failed the walk with the program's own error, as it should."
