# Sourced after sandbox.sh by the tests that ask LightDM itself: private copies of every
# directory LightDM reads configuration from, and what LightDM makes of them on seat0.

LIGHTDM_DIRS=(/usr/share/lightdm/lightdm.conf.d /usr/local/share/lightdm/lightdm.conf.d
  /etc/xdg/lightdm/lightdm.conf.d /etc/lightdm/lightdm.conf.d)
SHIPPED=$WORK/etc.pristine/lightdm/lightdm.conf

# Puts private copies of /usr/share/lightdm and /usr/local/share over the real ones, so that a
# test can put drop-ins in all four directories. /etc is the sandbox's copy already.
private_lightdm_dirs() {
  local dir
  for dir in /usr/share/lightdm /usr/local/share; do
    mkdir -p "$WORK/private$dir"
    [ -d "$dir" ] && cp -a "$dir/." "$WORK/private$dir/"
    mkdir -p "$dir"
    mount --bind "$WORK/private$dir" "$dir"
  done
  PRISTINE_SHARE=$WORK/share.pristine
  rm -rf "$PRISTINE_SHARE"
  cp -a /usr/share/lightdm "$PRISTINE_SHARE"
}

# Empties the four drop-in directories and puts the stock drop-ins of /usr/share/lightdm back.
reset_drop_ins() {
  local dir
  for dir in "${LIGHTDM_DIRS[@]}"; do rm -rf "$dir"; done
  mkdir -p "${LIGHTDM_DIRS[2]}" "${LIGHTDM_DIRS[3]}" "${LIGHTDM_DIRS[1]}"
  cp -a "$PRISTINE_SHARE/lightdm.conf.d" /usr/share/lightdm/
}

# A case is a list of files: "@conf" starts lightdm.conf, "@drop N NAME" a drop-in NAME in
# directory N of LIGHTDM_DIRS (0 is read first), "@shipped" puts LightDM's shipped file in
# lightdm.conf, "@seat NAME" makes logind list the seat NAME. The lines that follow are written
# with printf %b, so \f, \v, \r and \t work.
lay_out() {
  local line file=""
  reset_drop_ins
  rm -f "$CONF"
  rm -rf /run/systemd/seats
  while IFS= read -r line; do
    case $line in
      @shipped) cp "$SHIPPED" "$CONF"; file="" ;;
      "@seat "*)
        mkdir -p /run/systemd/seats
        printf 'IS_SEAT0=0\nCAN_GRAPHICAL=1\n' > "/run/systemd/seats/${line#@seat }"
        file=""
        ;;
      @conf) file=$CONF; : > "$file" ;;
      "@drop "*)
        read -r _ n name <<< "$line"
        file=${LIGHTDM_DIRS[$n]}/$name
        : > "$file"
        ;;
      *) [ -n "$file" ] && printf '%b\n' "$line" >> "$file" ;;
    esac
  done <<< "$1"
}

# generate_layouts SEED COUNT: fills GENERATED with COUNT layouts for lay_out, random drop-ins
# and main files made of the pieces LightDM's rules turn on; the same SEED gives the same set.
generate_layouts() {
  local seat='@conf\n[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0' layout i f l
  local pieces=('[Seat:*]' '[SeatDefaults]' '[Seat:seat0]' '[Seat:seat?]' '[Seat:*0]' '[Seat:seat1]'
    '[Seat:]' '[LightDM]' ' [Seat:*] ' 'autologin-user=bob' 'autologin-user=' 'autologin-user=alice'
    '#autologin-user=' '# autologin-user = carol' 'autologin-user-timeout=5'
    'autologin-user-timeout=0' 'autologin-user-timeout=-2' '#autologin-user-timeout=0'
    'autologin-guest=true' 'autologin-guest=false' 'autologin-in-background=true'
    '\\fautologin-user =dave' '\\vautologin-user=erin' 'autologin-user\\t= frank' 'x=1' '' '# note'
    'autologin-user=bob\\\\' 'autologin-user-timeout=3\\\\q')
  local broken=('; comment' 'garbage' '[Seat:*]x')
  GENERATED=()
  RANDOM=$1
  for ((i = 0; i < $2; i++)); do
    layout=""
    ((RANDOM % 4 == 0)) && layout+="@seat seat1\n"
    for ((f = 0; f < 1 + RANDOM % 3; f++)); do
      if ((RANDOM % 3 == 0)); then layout+="@conf\n"; else layout+="@drop $((RANDOM % 4)) $((RANDOM % 3))0.conf\n"; fi
      layout+="${pieces[RANDOM % 9]}\n"
      for ((l = 0; l < 1 + RANDOM % 5; l++)); do layout+="${pieces[RANDOM % ${#pieces[@]}]}\n"; done
      ((RANDOM % 8 == 0)) && layout+="${broken[RANDOM % ${#broken[@]}]}\n"
    done
    [[ $layout == *@conf* ]] || layout+="$seat\n"
    GENERATED+=("$(printf '%b' "$layout")")
  done
}

# Prints "KEY=VALUE" for each autologin key LightDM applies on the seat SEAT (seat0 when not
# given; "" for the one seat of a machine without logind), one a line, in the order of the keys:
# [Seat:*] first, then every [Seat:GLOB] whose glob matches the seat, in the order
# --show-config lists them. [Seat:*] counts first wherever it is listed: it is listed where its
# first key was read, which may be after a glob section of an earlier file. Prints FAILED when
# LightDM cannot load its configuration.
seat_keys() {
  local seat=${1-seat0}
  # A drop-in it cannot load is only reported; lightdm.conf it cannot load stops it.
  if ! lightdm --show-config > "$WORK/show" 2>&1; then
    echo FAILED
    return
  fi
  local line section="" applies="" key value
  declare -A base=() globs=()
  while IFS= read -r line; do
    case $line in
      "Sources:"*) break ;;
      "   ["*"]")
        section=${line#   [}
        section=${section%]}
        applies=""
        if [ "$section" = "Seat:*" ]; then
          applies=base
        elif [[ $section == Seat:* ]] && [[ $seat == ${section#Seat:} ]]; then
          applies=glob
        fi
        ;;
      ?"  autologin-"*)
        [ -n "$applies" ] || continue
        line=${line:3}
        key=${line%%=*}
        value=${line#*=}
        if [ "$applies" = base ]; then base[$key]=$value; else globs[$key]=$value; fi
        ;;
    esac
  done < "$WORK/show"
  for key in autologin-user autologin-user-timeout autologin-guest autologin-in-background; do
    if [ -n "${globs[$key]+set}" ]; then
      printf '%s=%s\n' "$key" "${globs[$key]}"
    elif [ -n "${base[$key]+set}" ]; then
      printf '%s=%s\n' "$key" "${base[$key]}"
    fi
  done
}

seat0_keys() { seat_keys seat0; }

# The seats the promise covers, one a line: seat0, the one seat of a machine without logind (an
# empty line), and every other seat logind lists.
promised_seats() {
  local seat
  printf 'seat0\n\n'
  for seat in /run/systemd/seats/*; do
    [ -f "$seat" ] && [ "${seat##*/}" != seat0 ] && echo "${seat##*/}"
  done
}

# key_of KEYS KEY: the value of KEY in the output of seat_keys, or nothing.
key_of() { sed -n "s/^$2=//p" <<< "$1"; }

# LightDM's readings: atoi, which is glibc's (int) strtol(): blanks, a sign, digits; a number
# past the range of a long is held at its end, then cut to an int. And "true" with trailing
# blanks.
lightdm_int() {
  local v=$1 sign digits n
  v=${v#"${v%%[![:space:]]*}"}
  if [[ $v =~ ^([+-]?)([0-9]+) ]]; then
    sign=${BASH_REMATCH[1]}
    digits=${BASH_REMATCH[2]}
    digits=${digits#"${digits%%[!0]*}"}
    [ -n "$digits" ] || digits=0
    if ((${#digits} > 19)) || { ((${#digits} == 19)) && [[ $digits > 9223372036854775807 ]]; }; then
      n=9223372036854775807
      [ "$sign" = - ] && n=$((-n - 1))
    else
      n=$((10#$digits))
      [ "$sign" = - ] && n=$((-n))
    fi
    n=$((n & 0xffffffff))
    ((n < 0x80000000)) || n=$((n - 0x100000000))
    echo "$n"
  else
    echo 0
  fi
}
lightdm_true() {
  local blanks=$' \t\n\f\r'
  [[ $1 =~ ^true[$blanks]*$ ]]
}

# promise_holds KEYS enable NAME | KEYS disable: LightDM's keys say what the success line says.
promise_holds() {
  local keys=$1 user
  user=$(key_of "$keys" autologin-user)
  [ "$keys" != FAILED ] || return 1
  lightdm_true "$(key_of "$keys" autologin-guest)" && return 1
  if [ "$2" = enable ]; then
    [ "$user" = "$3" ] && [ "$(lightdm_int "$(key_of "$keys" autologin-user-timeout)")" = 0 ] &&
      ! lightdm_true "$(key_of "$keys" autologin-in-background)"
  else
    [ -z "$user" ] || [ "$user" = "(null)" ]
  fi
}

# expected_status_line KEYS: the first line `status` must print for LightDM's keys, or a
# pattern for it (the sentences for other states are matched by their gist).
expected_status_line() {
  local keys=$1 user timeout who
  user=$(key_of "$keys" autologin-user)
  [ "$user" = "(null)" ] && user=""
  timeout=$(lightdm_int "$(key_of "$keys" autologin-user-timeout)")
  if lightdm_true "$(key_of "$keys" autologin-guest)"; then
    who="a guest"
  elif [ -n "$user" ]; then
    who="*"
  else
    echo "Auto login disabled"
    return
  fi
  if lightdm_true "$(key_of "$keys" autologin-in-background)"; then
    echo "LightDM will log in $who in the background, behind the greeter on seat0"
  elif [ "$timeout" -gt 0 ]; then
    echo "LightDM will log in $who after $timeout seconds at the greeter on seat0"
  elif [ "$timeout" -lt 0 ]; then
    echo "LightDM will show the greeter and log nobody in on seat0"
  elif [ "$who" = "*" ] && [[ $user =~ ^[A-Za-z0-9._-]+$ ]]; then
    echo "Auto login enabled for user: $user"
  else
    echo "LightDM will log in $who on seat0"
  fi
}

# Copies every file the helper may touch or read, to compare after a refused run.
snapshot() {
  snapshot_etc
  rm -rf "$WORK/snap"
  mkdir -p "$WORK/snap"
  cp -a /usr/share/lightdm "$WORK/snap/share"
  cp -a /usr/local/share/lightdm "$WORK/snap/local" 2>/dev/null || mkdir "$WORK/snap/local"
  cp -a /etc/xdg/lightdm "$WORK/snap/xdg" 2>/dev/null || mkdir "$WORK/snap/xdg"
}

# Prints nothing if every file is as snapshot found it, else what differs.
changed_since_snapshot() {
  etc_changes
  diff -r "$WORK/snap/share" /usr/share/lightdm
  diff -r "$WORK/snap/local" /usr/local/share/lightdm 2>/dev/null
  diff -r "$WORK/snap/xdg" /etc/xdg/lightdm 2>/dev/null
}
