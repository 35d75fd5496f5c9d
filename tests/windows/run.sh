#!/usr/bin/env bash
# Runs the Windows build under Wine, in real time: KvCfgService.exe installed as
# a service in a fresh prefix, beside a stand-in Mobile Broadband service
# (mbn_standin.cpp) with no modem or with one from a modem file. Scenarios
# without a modem (a configuration package and a device mode, the control
# driver missing, the older sibling removed); then the main road with a modem:
# notebooks played by KvPlay.exe (play_scenario.cpp), each held against the same
# notebook run by kvsim (the same AT commands byte for byte, in the same order
# and number, and the same log messages, time stamps aside) and against its
# table of AT commands; the modem going and coming back; last the test programs
# built for Windows. Every step has a time limit; every check prints what it
# expected and what it found.
#   tests/windows/run.sh [build folder]     (default: build-windows)
# The comparison needs the native kvsim (build/tools/kvsim/kvsim, or KV_KVSIM):
# built here first, and a build that fails ends the run, which an older kvsim
# would only mislead.
set -uo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "${1:-build-windows}" && pwd)
kvsim=${KV_KVSIM:-$PWD/build/tools/kvsim/kvsim}
if [ -z "${KV_KVSIM:-}" ]; then
  if [ -f build/CMakeCache.txt ]; then
    built=$(cmake --build build --target kvsim -j"$(nproc)" 2>&1)
  else
    built=$(./scripts/kv.sh build 2>&1)
  fi
  status=$?
  if [ "$status" != 0 ]; then
    printf '%s\n' "$built" | tail -40
    printf 'FAIL  the native kvsim: its build ended with exit code %s\n' "$status"
    exit 1
  fi
fi
if [ ! -x "$kvsim" ]; then
  printf 'FAIL  the native kvsim: no program at %s\n' "$kvsim"
  exit 1
fi

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
drive=$WINEPREFIX/drive_c
failures=0
finish() {
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT

say() { printf '%s\n' "$*"; }
check() {  # description, expected, found
  if [ "$2" = "$3" ]; then
    say "ok    $1: expected [$2], found [$3]"
  else
    say "FAIL  $1: expected [$2], found [$3]"
    failures=$((failures + 1))
  fi
}
# A Windows program, at most $1 seconds; its error output goes to $run_errors when set.
run() {
  local limit=$1
  shift
  timeout --kill-after=5 "$limit" "$wine" "$@" 2>"${run_errors:-/dev/null}" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

service="Kavrion WWAN CfgService"
sibling="Kavrion WWAN Config Service"
key='HKLM\SYSTEM\CurrentControlSet\Services\KAVRION\KVControl'
base=$drive/Kavrion
log=$base/KvConfigService/KvConfigService.log

state_of() { run 30 sc query "$1" | sed -n 's/^ *STATE *: *\([0-9]*\).*/\1/p'; }
exit_code_of() { run 30 sc query "$1" | sed -n 's/^ *WIN32_EXIT_CODE *: *\([0-9]*\).*/\1/p'; }
# Waits up to $3 seconds for service $1 to reach state $2; prints the last state seen.
wait_state() {
  local seen="" i
  for ((i = 0; i < $3 * 2; i++)); do
    seen=$(state_of "$1")
    seen=${seen:-none}
    [ "$seen" = "$2" ] && break
    sleep 0.5
  done
  printf '%s' "$seen"
}
# Waits up to $2 seconds for the log to hold a line with text $1; prints how many it holds.
wait_log() {
  local count=0 i
  for ((i = 0; i < $2 * 2; i++)); do
    count=$(log_count "$1")
    [ "$count" -gt 0 ] && break
    sleep 0.5
  done
  printf '%s' "$count"
}
log_count() {
  if [ -f "$log" ]; then tr -d '\r' <"$log" | grep -cF -- "$1"; else printf 0; fi
}
flag() { run 30 reg query "$key" /v "$1" | sed -n "s/^ *$1 *REG_DWORD *0x\([0-9a-fA-F]*\).*/\1/p"; }
settings() {  # CustomizationSolutionType
  sed "s/^CustomizationSolutionType=.*/CustomizationSolutionType=$1/" \
    examples/notebook/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini >"$base/KvConfigService/kvwwanConfig.ini"
}
start_service() {
  rm -f "$log"
  run 60 sc start "$service" >/dev/null
  check "sc start: the service reaches RUNNING (4)" 4 "$(wait_state "$service" 4 30)"
}
stop_service() {  # the scenario's name, for the kept log
  run 60 sc stop "$service" >/dev/null
  check "sc stop: the service reaches STOPPED (1)" 1 "$(wait_state "$service" 1 60)"
  check "sc stop: exit code" 0 "$(exit_code_of "$service")"
  mkdir -p "$build/wine-logs" && cp "$log" "$build/wine-logs/$1.log" 2>/dev/null
}

section() { say "== $* ($(date -u +%T))"; }
section prefix
start=$(date +%s)
timeout 300 "$wine" wineboot -i >/dev/null 2>&1
check "wineboot: a fresh prefix" 0 $?
# Then a persistent server, or the services die with the last Wine process (a
# running server cannot be made persistent: the one of the set-up must end first).
timeout 60 "$wineserver" -w
"$wineserver" -p
say "   ($(($(date +%s) - start)) s)"

section "install"
mkdir -p "$base/KvCfgService" "$base/KvConfigService" "$base/Firmware" "$drive/KvTest"
cp "$build/KvCfgService.exe" "$base/KvCfgService/"
cp examples/notebook/drives/C/Kavrion/KvConfigService/*.xml "$base/KvConfigService/"
cp "$build/KvMbnStandIn.dll" "$build/KvPlay.exe" "$drive/KvTest/"
# Wine has no Mobile Broadband API: a stand-in takes its classes, with no modem until a
# modem file is put beside it.
for clsid in '{BDFEE05B-4418-11DD-90ED-001C257CCFF1}' '{2269DAA3-2A9F-4165-A501-CE00A6F7A75B}'; do
  run 30 reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d 'C:\KvTest\KvMbnStandIn.dll' /f >/dev/null
  run 30 reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Both /f >/dev/null
done
run 30 reg add 'HKLM\SYSTEM\HardwareConfig\Current' /v SystemSKU /d KV-520R-NV-SKU1 /f >/dev/null
for value in NewPackageFlag DeviceMode Sensor1 Sensor2 Sensor3; do
  run 30 reg add "$key" /v $value /t REG_DWORD /d 0 /f >/dev/null
done
check "reg add: the control key" 0 "$(flag DeviceMode)"
run 60 sc create "$service" binPath= 'C:\Kavrion\KvCfgService\KvCfgService.exe' type= own start= demand >/dev/null
check "sc create \"$service\": exit code" 0 $?
run 60 'C:\Kavrion\KvCfgService\KvCfgService.exe' >/dev/null
check "KvCfgService.exe outside the service manager: exit code" 0 $?

section "CustomizationSolutionType 3, a new package"
settings 3
python3 - "$base/Firmware/KavrConfigFiles.flz" <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("SarAntData/Readme.txt", "the package's first member\r\n")
    z.writestr("FlashData/scatter.txt", "the second\r\n")
EOF
run 30 reg add "$key" /v NewPackageFlag /t REG_DWORD /d 1 /f >/dev/null
start_service
check "log: the work starts" 1 "$(wait_log '[Information][CServiceStart::StartWork] StartWork Done.' 30)"
check "log: the worker runs" 1 "$(wait_log '--------Start service-------------------' 30)"
check "log: the recovery command ran" 1 "$(wait_log '[Info]Config service Properties->recovery' 10)"
check "log: the package is unpacked" 1 "$(wait_log 'unzip KavrConfigFiles.flz success' 30)"
check "the package's members under KavrConfigFiles\\" "yes yes" \
  "$([ -f "$base/KvConfigService/KavrConfigFiles/SarAntData/Readme.txt" ] && echo yes || echo no) $([ -f "$base/KvConfigService/KavrConfigFiles/FlashData/scatter.txt" ] && echo yes || echo no)"
check "NewPackageFlag after the unpacking" 0 "$(flag NewPackageFlag)"
check "log: no modem (the interface list is empty)" 1 "$(wait_log '[error][CStateWork::GetSimInfo] Get mbim interface fail.' 10)"
# A change written while the worker handles one is not seen (the watch is armed
# again only afterwards): wait until both wake-ups of the start are done.
for ((i = 0; i < 60 && $(log_count 'Enter ServiceCheckThead.') < 2; i++)); do sleep 0.5; done
before=$(log_count 'Enter register event')
done_before=$(log_count 'Config done.')
run 30 reg add "$key" /v DeviceMode /t REG_DWORD /d 2 /f >/dev/null
for ((i = 0; i < 60 && $(log_count 'Config done.') <= done_before; i++)); do sleep 0.5; done
check "reg add DeviceMode 2: one more control-key wake-up" $((before + 1)) "$(log_count 'Enter register event')"
check "reg add DeviceMode 2: the configuration ran" $((done_before + 1)) "$(log_count 'Config done.')"
check "log: the device mode read" 1 "$(log_count 'DeviceMode:2')"
check "log: the antenna index for device mode 2" 1 "$(log_count 'AntTunerIndex:2')"
check "log: no modem for the AT commands" yes "$([ "$(log_count 'MBIM not exist')" -gt 0 ] && echo yes || echo no)"
stop_service type3-package
check "log: the worker's stop line" 1 "$(log_count '[Infomation][CStateWork::Work] Triger Service Stop Event.')"
check "log: the stop line" 1 "$(log_count '[Infomation][CServiceStart::StopWork] Stop work success.')"

section "CustomizationSolutionType 2, no control driver"
settings 2
start_service
check "log: the region goes to the missing driver" 1 \
  "$(wait_log '[Error][CStateWork::SetRegionByIOControl] CreateFile error. errorcode=2' 30)"
stop_service type2-no-driver

section "the older sibling"
cp "$build/KvSiblingService.exe" "$base/KvConfigService/KvWwanConfigService.exe"
run 60 sc create "$sibling" binPath= 'C:\Kavrion\KvConfigService\KvWwanConfigService.exe' type= own start= demand >/dev/null
run 60 sc start "$sibling" >/dev/null
check "the sibling runs" 4 "$(wait_state "$sibling" 4 30)"
settings 3
start_service
check "log: the sibling removed" 1 "$(wait_log 'Service removed successfully' 30)"
check "the sibling's service is gone" none "$(wait_state "$sibling" none 30)"
sleep 1
check "the sibling's executable is gone" no \
  "$([ -e "$base/KvConfigService/KvWwanConfigService.exe" ] && echo yes || echo no)"
stop_service sibling

standin=$drive/KvTest
transcript=$standin/mbn-transcript.txt
# The stand-in's modem for the next start of the service: the file given, or none.
modem() {
  if [ -n "${1:-}" ]; then cp "$1" "$standin/modem.txt"; else rm -f "$standin/modem.txt"; fi
  : >"$transcript"
  : >"$standin/mbn-control.txt"
}
control() { printf '%s\n' "$1" >>"$standin/mbn-control.txt"; }
transcript_count() { grep -cF -- "$1" "$transcript"; }
# The AT commands the stand-in was sent, one a line, their bytes written as in a modem file.
at_commands() { sed -n 's/^SetCommand {ffffffff-abca-4b11-a4e2-f2fc87f94488} 1 "\(.*\)" -> .*$/\1/p' "$transcript"; }
# The commands of one pass of the index switch: body SAR with index $1 and the antenna
# profile $2, or time-averaged SAR with index $1.
body_and_antenna() {
  printf '%s\n' 'AT+bodysaren?\r\n' 'AT+BODYSARMODE?\r\n' "at+bodysaron=1,$1\\r\\n" \
    'AT+GTANTTUNINGEN?\r\n' 'AT+GTANTCTRLMODE?\r\n' "AT+GTANTPROFILE=$2\\r\\n"
}
ta_sar() { printf '%s\n' 'AT+gttasen?\r\n' 'AT+gttasmode?\r\n' "AT+GTTASTRIGIDX=$1\\r\\n"; }
same_text() {  # description, expected file, found file
  if cmp -s "$2" "$3"; then
    say "ok    $1: $(wc -l <"$3") line(s) alike"
  else
    say "FAIL  $1: expected < found >"
    diff "$2" "$3" | head -40 | sed 's/^/        /'
    failures=$((failures + 1))
  fi
}
check_commands() {  # description, expected commands
  printf '%s\n' "$2" >"$work/expected.at"
  at_commands >"$work/found.at"
  same_text "$1: the AT commands, in bytes, order and number" "$work/expected.at" "$work/found.at"
}
# A log without its time stamps.
log_messages() {
  sed -E 's/^(\[(DETAIL|ERROR|WARNING)\] *)[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3}: /\1/' "$1"
}
# A notebook folder's drives, registry and modem in the prefix; its scenario played by KvPlay,
# which is to exit with $2 (default 0), its error output kept in $work/<name>.play.err.
play_notebook() {
  local folder=$1 expected=${2:-0} name status
  name=$(basename "$1")
  rm -rf "$base/KvConfigService" "$base/Firmware"
  cp -r "$folder/drives/C/." "$drive/"
  if [ -f "$folder/registry.reg" ]; then
    tr -d '\r' <"$folder/registry.reg" | sed -n 's/^\[\(HKEY_LOCAL_MACHINE\\.*\)\]$/\1/p' |
      while IFS= read -r registry_key; do run 30 reg delete "$registry_key" /f >/dev/null; done
    cp "$folder/registry.reg" "$standin/notebook.reg"
    run 30 reg import 'C:\KvTest\notebook.reg' >/dev/null
  fi
  modem "$([ -f "$folder/modem.txt" ] && echo "$folder/modem.txt")"
  cp "$folder/scenario.txt" "$standin/scenario.txt"
  rm -f "$log"
  run_errors=$work/$name.play.err run 600 'C:\KvTest\KvPlay.exe' 'C:\KvTest\scenario.txt' \
    'C:\KvTest\mbn-control.txt' 'C:\Kavrion\KvConfigService\KvConfigService.log' 0.2 >"$work/$name.play"
  status=$?
  if [ "$expected" = 0 ]; then
    check "KvPlay $name: every event played, the service stopped" 0 "$status"
  else
    check "KvPlay $name: exit code" "$expected" "$status"
  fi
  sed 's/^/      /' "$work/$name.play"
  check "the stand-in took $name/modem.txt without an error" 0 "$(grep -c '^modem: .*modem.txt' "$transcript")"
  mkdir -p "$build/wine-logs" && cp "$log" "$build/wine-logs/$name.log" && cp "$transcript" "$build/wine-logs/$name.mbn.txt"
}
# The same notebook through kvsim and under Wine: the same AT commands with the same replies,
# and the same log messages.
differential() {
  local folder=$1 name
  name=$(basename "$1")
  # Other services and the control driver's modes are the simulation's alone.
  check "$name: no services.txt, which only kvsim plays" no "$([ -f "$folder/services.txt" ] && echo yes || echo no)"
  rm -rf "$work/kvsim-$name"
  "$kvsim" run --keep "$work/kvsim-$name" "$folder" >"$work/$name.kvsim" 2>&1
  check "kvsim run $name: exit code" 0 $?
  play_notebook "$folder"
  sed -n 's/^\[ *[0-9.]*\] modem: \(\(Set\|Query\)Command .* -> .*\)$/\1/p' "$work/$name.kvsim" >"$work/$name.kvsim.at"
  grep -E '^(Set|Query)Command .* -> ' "$transcript" >"$work/$name.wine.at"
  same_text "$name, kvsim and Wine: the AT commands and replies" "$work/$name.kvsim.at" "$work/$name.wine.at"
  # The service thread's last start-up line follows the worker's start, whose first lines come from
  # the worker's own thread: Windows orders the two in no way, so that line is compared on its own.
  local started='[Information][CServiceStart::StartWork] StartWork Done.' kvsim_log
  kvsim_log=$work/kvsim-$name/C/Kavrion/KvConfigService/KvConfigService.log
  check "$name, kvsim and Wine: the start-up's last line, once in each" "1 1" \
    "$(grep -cF -- "$started" "$kvsim_log") $(grep -cF -- "$started" "$log")"
  log_messages "$kvsim_log" | grep -vF -- "$started" >"$work/$name.kvsim.log"
  log_messages "$log" | grep -vF -- "$started" >"$work/$name.wine.log"
  same_text "$name, kvsim and Wine: the log messages" "$work/$name.kvsim.log" "$work/$name.wine.log"
}

section "the main road: examples/notebook (body SAR, antenna tuner, postures, a CE network)"
differential examples/notebook
# FCC at start with device mode 1; device mode 2; CE; device mode 7.
check_commands notebook "$(body_and_antenna 1 1; body_and_antenna 2 2; body_and_antenna 10 2; body_and_antenna 14 6)"
check "log: the SAR index set at each pass" 4 "$(log_count 'Bodysar Index set success!')"
check "log: the antenna profile set at each pass" 4 "$(log_count 'AntTunner index set success!')"
check "log: the registration read by the sink" 1 "$(log_count 'CMbnRegEvent::OnRegisterStateChange GetProviderID mccmnc: 20801')"
check "log: the CE region" 1 "$(log_count 'region find, region=CE')"
check "log: the stop" 1 "$(log_count '[Infomation][CServiceStart::StopWork] Stop work success.')"

section "the main road: examples/notebook-tasar (time-averaged SAR, a sensor, a posture, an ISED network)"
differential examples/notebook-tasar
# FCC: sensor 0, sensor 1, device mode 3; ISED.
check_commands notebook-tasar "$(ta_sar 1; ta_sar 2; ta_sar 3; ta_sar 7)"
check "log: the TA-SAR index set at each pass" 4 "$(log_count 'TASar Index set success!')"
check "log: the ISED region" 1 "$(log_count 'region find, region=ISED')"

section "the main road: examples/notebook with its settings saved as UTF-16 with a byte-order mark"
mkdir -p "$work/notebook-utf16"
cp -r examples/notebook/. "$work/notebook-utf16/"
settings_ini=drives/C/Kavrion/KvConfigService/kvwwanConfig.ini
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "examples/notebook/$settings_ini"; } >"$work/notebook-utf16/$settings_ini"
differential "$work/notebook-utf16"
check_commands notebook-utf16 "$(body_and_antenna 1 1; body_and_antenna 2 2; body_and_antenna 10 2; body_and_antenna 14 6)"
check "notebook-utf16, kvsim and Wine: the settings read as type 3" "1 1" \
  "$(grep -cF -- 'ScemsropType=3' "$work/kvsim-notebook-utf16/C/Kavrion/KvConfigService/KvConfigService.log") $(log_count 'ScemsropType=3')"

section "the main road: a reply that never comes and one that fails"
mkdir -p "$work/notebook-replies"
cp -r examples/notebook/drives examples/notebook/registry.reg "$work/notebook-replies/"
cat >"$work/notebook-replies/modem.txt" <<'MODEM'
interface
reply "AT+bodysaren?\r\n"     "\r\n+BODYSAREN: 1\r\n\r\nOK\r\n"
reply "AT+BODYSARMODE?\r\n"   "\r\n+BODYSARMODE: 1\r\n\r\nOK\r\n"
reply "AT+GTANTTUNINGEN?\r\n" silent
reply "AT+GTANTCTRLMODE?\r\n" "\r\n+GTANTCTRLMODE: 1\r\n\r\nOK\r\n" status E_FAIL
MODEM
printf '20s control stop\n' >"$work/notebook-replies/scenario.txt"
differential "$work/notebook-replies"
check_commands notebook-replies "$(body_and_antenna 1 1)"
check "log: both antenna queries timed out" 2 "$(log_count 'SetCommandTimeout ')"
check "log: the failing status seen by the sink" 1 "$(log_count 'OnSetCommandComplete-status-not-ok')"

section "KvPlay: a scenario the service cannot follow fails the play"
# Each folder: examples/notebook with its own scenario, and the words KvPlay must fail with.
kvplay_fails() {
  local name=$1 scenario=$2 words=$3
  mkdir -p "$work/$name"
  cp -r examples/notebook/drives examples/notebook/registry.reg examples/notebook/modem.txt "$work/$name/"
  printf '%s' "$scenario" >"$work/$name/scenario.txt"
  play_notebook "$work/$name" 1
  check "KvPlay $name: says why" 1 "$(grep -cF -- "$words" "$work/$name.play.err")"
}
kvplay_fails play-after-stop $'2s control stop\n6s register 20801\n' 'scenario.txt:2, which is no stop'
kvplay_fails play-refused-stop $'2s control stop\n6s control stop\n' 'scenario.txt:2 could not be played (error 1062)'

section "the main road: the modem's ready state changes, the modem goes and comes back"
modem examples/notebook/modem.txt
rm -f "$log"
run 60 sc start "$service" >/dev/null
check "sc start: the service reaches RUNNING (4)" 4 "$(wait_state "$service" 4 30)"
check "log: the first pass done" 1 "$(wait_log 'Enter ServiceCheckThead.' 30)"
control "ready 3"
for ((i = 0; i < 60 && $(transcript_count 'event: OnReadyStateChange') < 1; i++)); do sleep 0.5; done
check "the ready-state change raised (no sink takes it)" 1 "$(transcript_count 'event: OnReadyStateChange interface 0 -> 0 sink(s)')"
control remove
for ((i = 0; i < 60 && $(transcript_count 'interface(s) gone') < 1; i++)); do sleep 0.5; done
run 30 reg add "$key" /v DeviceMode /t REG_DWORD /d 2 /f >/dev/null
for ((i = 0; i < 60 && $(log_count 'Config done.') < 2; i++)); do sleep 0.5; done
check "log: without the modem no command goes out" yes "$([ "$(log_count 'MBIM not exist')" -gt 0 ] && echo yes || echo no)"
control return
for ((i = 0; i < 60 && $(log_count 'Config done.') < 3; i++)); do sleep 0.5; done
check "the registration on return reaches the service's sink" 1 "$(transcript_count 'event: OnRegisterStateChange interface 0 -> 1 sink(s)')"
check "log: the packet-service change on return" 1 "$(log_count ' --------------------CMbnRegEvent::OnPacketServiceStateChange')"
# At start, none while the modem is gone, then the FCC pass with device mode 2 on its return.
check_commands "the modem gone and back" "$(body_and_antenna 1 1; body_and_antenna 2 2)"
stop_service modem-gone-and-back

section "test programs"
for program in test_slots test_conformance; do
  exe=$build/$program.exe
  if [ ! -f "$exe" ]; then
    say "      $program.exe not built"
    continue
  fi
  cp "$exe" "$drive/KvTest/"
  (cd "$drive/KvTest" && timeout --kill-after=5 300 "$wine" "C:\\KvTest\\$program.exe" --gtest_brief=1) \
    >"$work/$program.txt" 2>&1
  status=$?
  tr -d '\r' <"$work/$program.txt" | tail -25
  check "$program.exe under Wine: exit code" 0 "$status"
done

say "== $failures check(s) failed"
[ "$failures" = 0 ]
