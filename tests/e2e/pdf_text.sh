#!/bin/sh
# The text of the PDF that the spooler's PDF back end wrote for a print job,
# for an end-to-end test under Wine: a Windows program can start this script
# but not wait for it, so OUT appears whole (renamed into place) once done.
#
#   pdf_text.sh TITLE OUT     TITLE: the job's title; waits up to 60 s
# The back end writes into ~/PDF of the user who printed, named after the title.
title=$1
out=$2
home=$(getent passwd "$(id -un)" | cut -d: -f6)
for _ in $(seq 300); do
  pdf=$(ls -t "$home/PDF/$title"*.pdf 2>/dev/null | head -n 1)
  if [ -n "$pdf" ] && pdftotext "$pdf" "$out.part" 2>/dev/null; then
    mv "$out.part" "$out"
    exit 0
  fi
  sleep 0.2
done
echo "no PDF for the job $title in $home/PDF" >"$out.part"
mv "$out.part" "$out"
exit 1
