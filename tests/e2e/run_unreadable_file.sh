#!/bin/sh
# The main road with a file the program refuses to read: the walk must print the program's own error
# and fail. A folder without permissions stops anyone but root; root reads through permissions, so
# there the item is a symbolic link, which the program refuses for anyone.
# Usage: run_unreadable_file.sh TAVREL SHARE SERVICE SHOTS
set -eu
here=$(cd "$(dirname "$0")" && pwd)
folder=$(mktemp -d)
trap 'chmod -R u+rwx "$folder"; rm -rf "$folder"' EXIT
mkdir "$folder/Broken"
printf 'fine\n' >"$folder/Broken/fine.txt"
if [ "$(id -u)" -eq 0 ]; then
  printf 'elsewhere\n' >"$folder/elsewhere.txt"
  ln -s "$folder/elsewhere.txt" "$folder/Broken/link.txt"
  expected="can’t be transferred securely"
else
  mkdir "$folder/Broken/locked"
  printf 'unreadable\n' >"$folder/Broken/locked/secret.txt"
  chmod 000 "$folder/Broken/locked"
  expected="couldn’t read"
fi
status=0
sh "$here/virtual_session.sh" --tavrel "$1" --share "$2" --service "$3" --shots "$4" "$folder/Broken" >"$folder/output" 2>&1 || status=$?
cat "$folder/output"
[ "$status" -ne 0 ] || { echo "the walk passed with an unreadable file"; exit 1; }
grep -q "^Tavrel says: .*$expected" "$folder/output" || { echo "the program's error was not printed"; exit 1; }
echo "The unreadable item failed the walk with the program's own error, as it should."
