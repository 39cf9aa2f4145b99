#!/usr/bin/env bash
# Generates about 250 MB of PCM that holds no MPEG audio (noise, sines,
# sweeps and silence, quiet and faded, dithered and not; 8 to 32 bits, mono
# and stereo, 44100 to 96000 Hz; WAVE, AIFF and raw in both byte orders) and
# counts the frame-header chains that form in it by chance.
#   bench/chance_chains.sh
#   CHAINS_MB=250 CHAINS_KEEP=1 CHAINS_TOOL=path/to/chance_chains bench/chance_chains.sh
# sox runs with -R, so the same files come out on every run. The tool is
# built in a folder of its own under TMPDIR unless CHAINS_TOOL names one.
set -euo pipefail
cd "$(dirname "$0")/.."

total_mb=${CHAINS_MB:-250}
tool=${CHAINS_TOOL:-}
if [ -z "$tool" ]; then
  build=${TMPDIR:-/tmp}/scourby-build-chains
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSCOURBY_TESTS=OFF >/dev/null
  cmake --build "$build" --target chance_chains -j1 >/dev/null
  tool=$build/bench/chance_chains
fi

free_kb=$(df -k --output=avail /dev/shm 2>/dev/null | tail -1 || echo 0)
if [ "${free_kb:-0}" -gt $((total_mb * 3 * 1024)) ]; then
  work=$(mktemp -d /dev/shm/scourby-chains.XXXXXX)
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/scourby-chains.XXXXXX")
fi
if [ -z "${CHAINS_KEEP:-}" ]; then trap 'rm -rf "$work"' EXIT; fi
echo "work folder: $work"

# Content, as sox effects: D is the length in seconds, F a quarter of it,
# H a little under half of it (fades that meet are refused), E an eighth
# and S three quarters.
recipes=(
  "brown-fade|synth D brownnoise vol 0.3 fade q F D F"
  "pink-fade|synth D pinknoise vol 0.3 fade h F D F"
  "white-low-fade|synth D whitenoise vol 0.01 fade t F D F"
  "brown-quiet|synth D brownnoise vol 0.001"
  "pink-quiet-dither|synth D pinknoise vol 0.005 dither -s"
  "sine-fade|synth D sine 440 vol 0.5 fade l F D F"
  "sine-quiet|synth D sine 1000 vol 0.002"
  "silence-dither|trim 0 D dither"
  "sweep-fade|synth D sine 20-18000 vol 0.7 fade t F D F"
  "brown-long-fade|synth D brownnoise vol 0.05 fade t H D H"
  "pink-fade-pad|synth S pinknoise vol 0.1 fade h F S F pad E E"
  "white-quiet-dither|synth D whitenoise vol 0.003 fade q F D F dither -s"
)
# Sample format and container: bits, channels, type.
variants=(
  "24 2 wav" "24 1 raw-le" "32 2 aiff" "32 1 raw-be"
  "24 2 raw-be" "32 2 raw-le" "16 2 wav" "8 1 raw-le"
)
rates=(44100 48000 88200 96000)

count=$(( ${#recipes[@]} * ${#variants[@]} ))
per_file=$(( total_mb * 1000000 / count ))
n=0
for c in "${!recipes[@]}"; do
  name=${recipes[$c]%%|*}
  effects=${recipes[$c]#*|}
  for v in "${!variants[@]}"; do
    read -r bits channels type <<<"${variants[$v]}"
    rate=${rates[$(( (c + v) % 4 ))]}
    # Half the files without sox's automatic dither (it only acts below 32
    # bits), chosen so that each format meets each rate with and without.
    dither=()
    if [ $(( (c / 4 + v / 4) % 2 )) -eq 1 ]; then dither=(-D); fi
    seconds=$(awk -v b="$per_file" -v r="$rate" -v ch="$channels" -v bits="$bits" \
      'BEGIN { printf "%.3f", b / (r * ch * bits / 8) }')
    fx=$(awk -v e="$effects" -v d="$seconds" 'BEGIN {
      f = sprintf("%.3f", d / 4); h = sprintf("%.3f", d * 0.45)
      e8 = sprintf("%.3f", d / 8); s = sprintf("%.3f", d * 0.75)
      n = split(e, w, " "); out = ""
      for (i = 1; i <= n; ++i) {
        if (w[i] == "D") w[i] = d; else if (w[i] == "F") w[i] = f; else if (w[i] == "H") w[i] = h
        else if (w[i] == "E") w[i] = e8; else if (w[i] == "S") w[i] = s
        out = out (i > 1 ? " " : "") w[i]
      }
      print out }')
    base=$(printf '%02d-%s-%sb-%sch-%s' "$n" "$name" "$bits" "$channels" "$rate")
    [ ${#dither[@]} -gt 0 ] && base=$base-nodither
    encoding=(-e signed-integer)
    [ "$bits" = 8 ] && [ "$type" = wav ] && encoding=(-e unsigned-integer)
    case $type in
      wav) out=(-t wav "$work/$base.wav") ;;
      aiff) out=(-t aiff "$work/$base.aiff") ;;
      raw-le) out=(-t raw -L "$work/$base.le.raw") ;;
      raw-be) out=(-t raw -B "$work/$base.be.raw") ;;
    esac
    # shellcheck disable=SC2086  # fx is a list of sox effect arguments
    sox -R -V1 "${dither[@]}" -n -r "$rate" -c "$channels" -b "$bits" "${encoding[@]}" "${out[@]}" $fx
    n=$((n + 1))
  done
done
# The cases from the reports: a 24-bit brown-noise fade and 32-bit
# pink-noise fades.
sox -R -n -r 44100 -c 2 -b 24 "$work/report-brown-24b-2ch-44100.wav" synth 8 brownnoise vol 0.3 fade 2 8 2
sox -R -n -r 48000 -c 2 -b 32 "$work/report-pink-32b-2ch-48000.wav" synth 8 pinknoise vol 0.3 fade 2 8 2
sox -R -n -r 96000 -c 1 -b 32 "$work/report-pink-32b-1ch-96000.aiff" synth 8 pinknoise vol 0.2 fade 3 8 3

du -sh "$work"
echo "$tool $work/*"
"$tool" "$work"/*
