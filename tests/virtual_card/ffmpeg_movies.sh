#!/bin/sh
# Motion JPEG recordings made by ffmpeg, a writer no one here wrote, at rates
# whose dwScale is not 1, for avi_playback_test to play: FOLDER/ffmpeg-12.5.avi
# (25 / 2) and FOLDER/ffmpeg-30000-1001.avi, 10 frames of 8 x 6, frame n flat
# grey 20 (n + 1).
#   ffmpeg_movies.sh FOLDER
set -eu
command -v ffmpeg >/dev/null || { echo "needs ffmpeg, which the Debian package ffmpeg provides" >&2; exit 1; }
for rate in 12.5 30000/1001; do
  ffmpeg -v error -y -f lavfi -i "color=black:s=8x6:r=$rate,format=rgb24,geq=r=20*(N+1):g=20*(N+1):b=20*(N+1)" \
    -frames:v 10 -c:v mjpeg -pix_fmt yuvj420p -q:v 2 "$1/ffmpeg-$(echo "$rate" | tr / -).avi"
done
