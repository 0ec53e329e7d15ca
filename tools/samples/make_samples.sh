#!/usr/bin/env bash
# Regenerates the code-page-932 samples (the keyword list orvan.key and the message texts) from
# their UTF-8 sources in utf8/, which are the copies to read and edit.
set -euo pipefail
cd "$(dirname "$0")"
for source in utf8/*; do
  iconv -f UTF-8 -t CP932 "$source" > "${source#utf8/}"
done
