#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Checks that every #include runs the way docs/architecture.md draws the layers, and
# prints file:line and the rule for each one that does not. Exits non-zero on any.
#
# Project headers are written from the repository root ("engine/plane.h"); headers the
# build generates from cmake/*.in are written "generated/NAME".
set -euo pipefail
cd "$(dirname "$0")/.."

# The layer a path belongs to: its top folder, or for cli/ and tests/ the subfolder
# whose rules differ.
layer_of() {
  case $1 in
    cli/command/*) echo cli/command ;;
    cli/media/*) echo cli/media ;;
    cli/report/*) echo cli/report ;;
    cli/pipeline/*) echo cli/pipeline ;;
    tests/cli/*) echo tests/cli ;;
    tests/frei0r/*) echo tests/frei0r ;;
    tests/mlt/*) echo tests/mlt ;;
    tests/fuzz/*) echo tests/fuzz ;;
    tests/obs/*) echo tests/obs ;;
    tests/support/*) echo tests/support ;;
    */*) echo "${1%%/*}" ;;
    *) echo "(top)" ;;
  esac
}

# What each layer may include, besides itself and (except where noted below) the system's
# headers.
cli_all="cli cli/command cli/media cli/report cli/pipeline"
product="host engine platform plugin dialog module hosting linked"
declare -A may=(
  [host]=""
  [engine]=""
  [platform]="engine"
  [plugin]="engine platform host"
  [dialog]="plugin host"
  [module]="plugin dialog host generated"
  [hosting]="host"
  [linked]="hosting module plugin engine host"
  [cli/command]="plugin"
  [cli/media]="cli/command"
  [cli/report]="cli/media cli/command engine"
  [cli/pipeline]="cli/report cli/media cli/command linked plugin engine"
  [cli]="cli/pipeline cli/report cli/media cli/command generated"
  [frei0r]="linked plugin engine generated"
  [mlt]="linked plugin engine generated"
  [obs]="linked plugin engine generated"
  [bench]="$product obs tests/support generated"
  [tests/support]="$product generated"
  [tests]="$product tests/support generated"
  [tests/cli]="$product $cli_all tests/support generated"
  [tests/frei0r]="$product frei0r tests/support generated"
  [tests/mlt]="$product mlt tests/support generated"
  [tests/fuzz]="$product cli/command tests/support generated"
  [tests/obs]="obs"
)

# Of plugin/, the layers above the linked filter see only the settings table and its
# text forms, directly or through any header they include: the instance record, its
# shared fields, the settings' binding to it, the engine snapshot and the linked frame
# are the linked filter's business.
settings_headers=" plugin/settings_table.h plugin/settings_text.h "
sees_settings_only() {  # layer
  case $1 in cli | cli/* | frei0r | mlt | obs) return 0 ;; *) return 1 ;; esac
}

# The project headers a header reaches through its own includes, one per line, each as
# "path via-chain"; memoised, and cut at a header already being walked.
declare -A reach_of=()
reach() {  # header
  local header=$1 target line text
  [ -n "${reach_of[$header]+set}" ] && return
  reach_of[$header]=""
  local found=""
  while IFS=: read -r line text; do
    [[ $text =~ $include_pattern ]] || continue
    target=${BASH_REMATCH[2]}
    [ "${BASH_REMATCH[1]}" = '"' ] && [ -e "$target" ] || continue
    reach "$target"
    found+="$target $header"$'\n'
    while read -r deeper chain; do
      [ -n "$deeper" ] && found+="$deeper $chain <- $header"$'\n'
    done <<< "${reach_of[$target]}"
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$header" || true)
  reach_of[$header]=$found
}

# host/ and engine/ are plain C++: the standard library only (engine/x86/ may also use
# the x86 intrinsics).
std_headers=" algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv
  cfloat charconv chrono cinttypes climits clocale cmath compare complex concepts
  condition_variable csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime
  cuchar cwchar cwctype deque exception execution filesystem format forward_list fstream
  functional future initializer_list iomanip ios iosfwd iostream istream iterator latch
  limits list locale map memory memory_resource mutex new numbers numeric optional ostream
  queue random ranges ratio regex scoped_allocator semaphore set shared_mutex
  source_location span sstream stack stdexcept stop_token streambuf string string_view
  syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map
  unordered_set utility valarray variant vector version "
std_headers=$(echo $std_headers)
std_headers=" $std_headers "

include_pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"]'
failures=0
fail() {  # file, line, message
  echo "$1:$2: $3" >&2
  failures=$((failures + 1))
}

allowed() {  # from-layer, to-layer
  [ "$1" = "$2" ] && return 0
  local rule=" ${may[$1]} "
  [[ $rule == *" $2 "* ]]
}

while IFS= read -r file; do
  from=$(layer_of "$file")
  if [ -z "${may[$from]+set}" ]; then
    fail "$file" 1 "no include rule for layer '$from': add one to scripts/check-includes.sh and docs/architecture.md"
    continue
  fi
  while IFS=: read -r line text; do
    [[ $text =~ $include_pattern ]] || continue
    kind=${BASH_REMATCH[1]}
    target=${BASH_REMATCH[2]}
    if [ "$kind" = "<" ] && [ ! -e "$target" ]; then
      # A system header.
      case $from in
        host|engine)
          if [[ $std_headers != *" $target "* ]] &&
             ! { [[ $file == engine/x86/* ]] && [ "$target" = immintrin.h ]; }; then
            fail "$file" "$line" "<$target>: $from/ includes only the standard library"
          fi ;;
      esac
      continue
    fi
    if [[ $target == generated/* ]]; then
      [ -e "cmake/${target#generated/}.in" ] ||
        fail "$file" "$line" "\"$target\": no template cmake/${target#generated/}.in generates it"
      to=generated
    elif [ -e "$target" ]; then
      to=$(layer_of "$target")
    else
      fail "$file" "$line" "\"$target\" is not a path from the repository root"
      continue
    fi
    if [[ $to == tests* ]] && [[ $from != tests* ]] &&
       ! { [ "$from" = bench ] && [ "$to" = tests/support ]; }; then
      fail "$file" "$line" "\"$target\": nothing outside tests/ includes tests/ (bench/ may use tests/support/)"
    elif [ "$to" = plugin ] && sees_settings_only "$from" &&
         [[ $settings_headers != *" $target "* ]]; then
      fail "$file" "$line" "\"$target\": $from/ sees of plugin/ only the settings table and its text forms; it drives the filter through linked/"
    elif ! allowed "$from" "$to"; then
      fail "$file" "$line" "\"$target\": $from/ may not include $to/ (it may include: ${may[$from]:-only itself})"
    elif sees_settings_only "$from" && [ -e "$target" ]; then
      reach "$target"
      while read -r deeper chain; do
        [[ $deeper == plugin/* ]] && [[ $settings_headers != *" $deeper "* ]] &&
          fail "$file" "$line" "\"$target\" brings in \"$deeper\" (through $chain): $from/ sees of plugin/ only the settings table and its text forms"
      done <<< "${reach_of[$target]}"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(git ls-files '*.cpp' '*.h' '*.rc' && git ls-files --others --exclude-standard '*.cpp' '*.h' '*.rc')

if [ "$failures" -gt 0 ]; then
  echo "include check: $failures include(s) run against the layers (docs/architecture.md)" >&2
  exit 1
fi
echo "include check: every include runs the way the layers allow"
