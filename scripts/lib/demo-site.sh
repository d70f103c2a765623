# Shared by scripts/demo, scripts/screenshots and the windowed client's
# whole run: a sandbox under one folder (registry, home, data and download
# folders), the authority key server with its five entries and a demo
# provider made with gantrell-publish, and a web server for them on
# 127.0.0.1. Source it, then:
#   demo_sandbox FOLDER      sets HOME, XDG_*, GANTRELL_REGISTRY_DIR below FOLDER
#   demo_site FOLDER         makes FOLDER/www (keys in FOLDER/keys)
#   demo_serve FOLDER [server options]
#                            serves FOLDER/www; sets demo_port, demo_provider,
#                            GANTRELL_KEY_SERVER; adds the demo provider's
#                            subscription file (www/demo/subscribe.gantrell);
#                            stopped by demo_stop
# Needs $top (the source tree) and a build in $top/build, or the folder of
# the programs in $demo_bin.

demo_sandbox() {
  local dir=$1
  rm -rf "$dir"
  mkdir -p "$dir"/{keys,www,files,home,run}
  chmod 700 "$dir/run"
  export HOME="$dir/home"
  export XDG_CONFIG_HOME="$dir/home/.config"
  export XDG_DATA_HOME="$dir/home/.local/share"
  export XDG_RUNTIME_DIR="$dir/run"
  export GANTRELL_REGISTRY_DIR="$dir/registry"
}

demo_site() {
  local dir=$1
  local publish="${demo_bin:-$top/build/tools}/gantrell-publish"
  local www="$dir/www"
  local entry
  for entry in master signone signtwo signthree; do
    mkdir -p "$www/ngtlkey/$entry"
    "$publish" keygen --bits 2048 "$dir/keys/$entry.pem" "$www/ngtlkey/$entry/public.dat"
  done
  "$publish" keygen "$dir/keys/gtl.pem" "$dir/keys/gtl.dat"
  cat >"$dir/gtl.manifest" <<MANIFEST
name = Gantrell
key = keys/gtl.pem
MANIFEST
  "$publish" site --out "$www/ngtlkey/gtl" "$dir/gtl.manifest"

  "$publish" keygen "$dir/keys/demo.pem" "$dir/keys/demo.dat"
  printf 'demo tool, version 1\n' >"$dir/files/tool.bin"
  printf 'Read me first: this is the demo provider.\n' >"$dir/files/readme.txt"
  head -c 300000 /dev/urandom >"$dir/files/data.pak"
  printf 'a driver for a machine that is not this one\n' >"$dir/files/driver.sys"
  cat >"$dir/demo.manifest" <<'MANIFEST'
name = Demo Provider
key = keys/demo.pem

[group "Tools"]
[item "tool.bin"]
file = files/tool.bin
number = 1
description = The demo tool
[item "readme.txt"]
file = files/readme.txt
number = 2
location = readme-first.txt
description = What the demo is about

[group "Data"]
[item "data.pak"]
file = files/data.pak
number = 3
description = A larger data file
[item "driver.sys"]
file = files/driver.sys
number = 4
description = Only for machines with the demo hardware
condition = REG NME "demo hardware" KRT 1 PTH "Software\GantrellDemo\Hardware" CPT 0 END
MANIFEST
  "$publish" site --out "$www/demo" "$dir/demo.manifest"
}

demo_serve() {
  local dir=$1
  shift
  python3 -u "$top/scripts/lib/demo-server.py" "$dir/www" "$@" \
    >"$dir/server.out" 2>"$dir/server.log" &
  demo_server_pid=$!
  demo_port=
  local _
  for _ in $(seq 1 100); do
    demo_port=$(sed -n 's/^port \([0-9][0-9]*\)$/\1/p' "$dir/server.out" | head -n 1)
    [ -n "$demo_port" ] && break
    sleep 0.1
  done
  if [ -z "$demo_port" ]; then
    echo "the demo web server did not start" >&2
    cat "$dir/server.log" >&2
    return 1
  fi
  export GANTRELL_KEY_SERVER="http://127.0.0.1:$demo_port"
  demo_provider="http://127.0.0.1:$demo_port/demo/"
  # The address is known only now; the items are unchanged and kept.
  "${demo_bin:-$top/build/tools}/gantrell-publish" site --out "$dir/www/demo" \
    --address "$demo_provider" "$dir/demo.manifest" >/dev/null
}

demo_stop() {
  if [ -n "${demo_server_pid:-}" ]; then
    kill "$demo_server_pid" 2>/dev/null || true
    wait "$demo_server_pid" 2>/dev/null || true
    demo_server_pid=
  fi
}
