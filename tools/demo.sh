#!/usr/bin/env bash
# `make demo`: makes a prefix of its own under BUILD/demo and shows the suite working in it.
set -euo pipefail
build=${1:-build}
bin="$build/bin"
prefix="$build/demo/prefix"
rm -rf "$build/demo"
mkdir -p "$prefix/music/Best Of"
cat > "$prefix/wavedesk.ini" <<'INI'
; The demo prefix: drive D holds the music, drive E is a small removable disk.
[drives]
d = music, fixed
e = stick, removable, 64M
INI
mkdir -p "$prefix/stick"
printf 'demo' > "$prefix/music/Best Of/Track One.MP3"
printf 'demo' > "$prefix/music/Best Of/track two.mp3"
export WAVEDESK_PREFIX="$prefix"

echo "== The prefix"
"$bin/wdprefix" show
echo
echo "== Windows-style paths resolve without regard to case"
"$bin/wdprefix" resolve 'd:\BEST OF\TRACK ONE.mp3' 'c:\windows\temp\qmx_mp00.tmp' 'e:\'
echo
echo "== Listing d:\\best of\\*.mp3"
"$bin/wdprefix" list 'd:\best of\*.mp3'
echo
echo "== The job worker: jobctl starts it, sends a stop and follows the status"
"$bin/jobctl" send command stop
echo
echo "== A 10-second WAV made by wavtone, encoded to MP3 and decoded back through the worker"
"$bin/wavtone" "$prefix/drive_c/tone.wav" 10
"$bin/jobctl" encode 'c:\tone.wav' 'c:\tone.mp3' --bitrate 160
"$bin/jobctl" decode 'c:\tone.mp3' 'c:\tone-back.wav'
ls -l "$prefix/drive_c" | grep tone
echo
echo "== The status message it keeps reporting"
"$bin/jobctl" status
echo
echo "== jobctl end: the worker ends and leaves the command slot cleared"
"$bin/jobctl" end
"$bin/jobctl" slot 0 | cut -c1-60
