#!/usr/bin/env bash
# Runs one fixed corpus of batch jobs with a built program and lists every file the jobs wrote
# with its SHA-256, so that two builds can be compared file by file: a change that must not
# alter any result gives the same listing.
#
#   tools/result_corpus.sh BUILD_DIR OUT_DIR
#   diff -r OUT_BEFORE OUT_AFTER            # or just the two OUT_DIR/listing.txt
#
# The corpus: the example pair with its thickness data under every registration type but the
# shape model (fits, FFD grids, result files, data mapping, maps, re-saved HR surfaces), the
# auto sequence, a mirrored job, rims matched to rims, a chained pair of jobs (the second loads
# what the first saved), reviews (pictures from two presets, one with the HR surface hidden);
# the subdivided real femur pair (LAD, TPS, FFD); the real femur turned so that the femur
# analysis places its landmarks and landcurves, carried by TPS and the map; and a
# generated 164k-vertex pair (the large-surface paths). Each job works in a directory of its
# own, so that no job loads what another saved unless the corpus asks for it.
#
# OUT_DIR/listing.txt holds "sha256  path" for every output; OUT_DIR/files the outputs
# themselves; OUT_DIR/log.txt the batch log without its times (and without the version line),
# with the work directory written as WORK; OUT_DIR/status the program's exit status.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${KELVORAND_CORPUS_DISPLAY:-}" ] && [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1600x1200x24' env KELVORAND_CORPUS_DISPLAY=1 "$0" "$@"
fi
[ $# -eq 2 ] || { echo "usage: tools/result_corpus.sh BUILD_DIR OUT_DIR" >&2; exit 2; }
build="$(cd "$1" && pwd)"
out="$2"
for tool in kelvorand kelvorand_example bench/kelvorand_job_pairs; do
  [ -x "$build/$tool" ] || { echo "result_corpus.sh: $build/$tool is missing; build first" >&2; exit 1; }
done

work="$(mktemp -d /tmp/kelvorand_corpus.XXXXXX)"
trap 'rm -rf "$work"' EXIT
"$build/kelvorand_example" "$work/example" >/dev/null
"$build/bench/kelvorand_job_pairs" "$here/tests/data/real-femur/ProximalFemur.ply" "$work/pairs" \
  >/dev/null
rm -rf "$work/pairs/bone655k"

# The real femur turned so that its head points up the file's z, in which pose the femur
# analysis finds its items (as stored, the head points down and the analysis finds none); the
# LR copy is turned by 3 more degrees about z and moved by (1, -2, 1) mm. Mirrored, as the pose
# is, the triangles keep their corner order.
pose_femur() {
  awk -v extra="$2" -v dx="$3" -v dy="$4" -v dz="$5" '
    function rot(axis, degrees,   c, s, a, b) {
      c = cos(degrees * 3.14159265358979323846 / 180); s = sin(degrees * 3.14159265358979323846 / 180)
      if (axis == "x") { a = y; b = z; y = c * a - s * b; z = s * a + c * b }
      if (axis == "y") { a = z; b = x; z = c * a - s * b; x = s * a + c * b }
      if (axis == "z") { a = x; b = y; x = c * a - s * b; y = s * a + c * b }
    }
    function pose(moved) {
      y = -y; rot("y", -123); rot("x", 71); rot("z", 37); rot("z", extra)
      if (moved) { x += dx; y += dy; z += dz }
    }
    header && /^element vertex/ { vertices = $3 }
    header { print; if ($1 == "end_header") header = 0; next }
    done < vertices {
      x = $1; y = $2; z = $3; pose(1); px = x; py = y; pz = z
      x = $4; y = $5; z = $6; pose(0)
      printf "%.6f %.6f %.6f %.6f %.6f %.6f\n", px, py, pz, x, y, z; done++; next
    }
    { print }
  ' header=1 "$here/tests/data/real-femur/ProximalFemur.ply" >"$1"
}
mkdir -p "$work/realfemur"
cp "$here/tests/data/real-femur/LICENSE" "$work/realfemur/LICENSE"
pose_femur "$work/realfemur/hr.ply" 0 0 0 0
pose_femur "$work/realfemur/lr.ply" 3 1 -2 1

inputs="$work/inputs.txt"
: >"$inputs"
batch="$work/corpus.run"
{
  echo "# The result corpus; every job in a directory of its own."
  echo "\"$work/\""
} >"$batch"

# job DIR KIND COLUMNS...: copies the KIND pair into DIR and adds one job on it. KIND is
# "example" (template onto target, the target's thickness data), "femur" (the subdivided real
# femur), "realfemur" (the real femur in the pose above) or "bone164k".
job() {
  local dir="$1" kind="$2"
  shift 2
  mkdir -p "$work/$dir"
  local lr hr data=n/a
  case "$kind" in
    example)
      cp "$work/example/template_bone.ply" "$work/$dir/template_bone.ply"
      cp "$work/example/target_bone.ply" "$work/$dir/target_bone.ply"
      cp "$work/example/target_bone_thickness.bin" "$work/$dir/target_bone_thickness.bin"
      lr="$dir/template_bone.ply" hr="$dir/target_bone.ply" data="$dir/target_bone_thickness.bin" ;;
    femur)
      cp "$work/pairs/femur/lr.ply" "$work/$dir/proximal_femur_lr.ply"
      cp "$work/pairs/femur/hr.ply" "$work/$dir/proximal_femur_hr.ply"
      lr="$dir/proximal_femur_lr.ply" hr="$dir/proximal_femur_hr.ply" ;;
    realfemur)
      cp "$work/realfemur/lr.ply" "$work/$dir/proximal_femur_real_lr.ply"
      cp "$work/realfemur/hr.ply" "$work/$dir/proximal_femur_real_hr.ply"
      lr="$dir/proximal_femur_real_lr.ply" hr="$dir/proximal_femur_real_hr.ply" ;;
    bone164k)
      cp "$work/pairs/bone164k/lr.ply" "$work/$dir/lr.ply"
      cp "$work/pairs/bone164k/hr.ply" "$work/$dir/hr.ply"
      lr="$dir/lr.ply" hr="$dir/hr.ply" ;;
  esac
  (cd "$work" && ls "$dir") | sed "s|^|$dir/|" >>"$inputs"
  local hr_data="$data"
  [ "${HR_DATA:-1}" = 1 ] || hr_data=n/a
  echo "$lr $hr n/a $hr_data $*" >>"$batch"
}

# Columns after the four files: reflect smthLR smthHR range fussy niter type saveReg saveLR
# saveMap review rims saveHR.
for type in 0 1 2 3 4 5 6 7 8 9 10; do
  job "type$type" example 0 0 1 999 0 12 "$type" 1 0 1 0 1 1
done
job auto example 0 0 0 999 -1 60 7 1 1 1 0 1 0
job mirrored example 1 0 0 999 0 15 1 1 -1 1 0 1 0
job to_rims example 0 0 0 999 5 10 10 1 -1 1 0 2 0
job fussy example 0 0 2 40 10 10 4 1 2 1 0 0 0
# A chain: the default pose saved by a job of no iterations, then refined from the file.
job chain example 0 0 0 999 0 0 1 1 -1 0 0 1 0
HR_DATA=0 job chain example 0 0 0 999 0 20 1 1 -1 1 0 1 0
# The aspect->similarity step of a negative type, chained on an aspect fit.
job aspect_sim example 0 0 0 999 0 10 7 1 -1 0 0 1 0
HR_DATA=0 job aspect_sim example 0 0 0 999 0 10 -1 1 -1 1 0 1 0
job review2 example 0 0 0 999 0 0 1 0 -1 0 2 1 0
job review5hidden example 0 0 0 999 0 0 1 0 -1 0 -5 1 0
job review_turn example 0 0 0 999 0 6 1 0 -1 1 3 1 0
for type in 1 3 8 10; do
  job "femur$type" femur 0 0 0 999 0 8 "$type" 1 -1 1 0 2 1
done
for type in 1 10; do
  job "realfemur$type" realfemur 0 0 0 999 0 10 "$type" 1 -1 1 0 2 1
done
job big_sim bone164k 0 0 0 999 0 20 1 1 -1 1 0 1 1
job big_aff bone164k 0 0 0 999 0 10 4 1 -1 1 0 1 0

status=0
"$build/kelvorand" "$batch" >"$work/stdout" 2>"$work/stderr" || status=$?

rm -rf "$out"
mkdir -p "$out/files"
echo "$status" >"$out/status"
sed -e 's/^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]: //' -e "s|$work|WORK|g" "$work/corpus_log.txt" |
  grep -v '^Kelvorand [0-9]' >"$out/log.txt" || true
(
  cd "$work"
  find . -mindepth 2 -type f ! -path './example/*' ! -path './pairs/*' | sed 's|^\./||' | sort |
    grep -vxF -f "$inputs" | while read -r file; do
      mkdir -p "$out/files/$(dirname "$file")"
      cp "$file" "$out/files/$file"
      sha256sum "$file"
    done
) >"$out/listing.txt"
echo "result_corpus.sh: status $status, $(wc -l <"$out/listing.txt") files; listing in $out/listing.txt"
