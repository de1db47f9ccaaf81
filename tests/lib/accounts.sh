# Sourced by sandbox.sh and chain.sh: the one way the tests make an account.
#
# add_user NAME ID [--shell SHELL] [--password FIELD] [--expire DAY] [--home DIR | --no-home]
# adds NAME, with user and group id ID and a group of its own, to the databases under
# ACCOUNTS_ROOT (empty: the sandbox's /etc), without useradd, which would also write /var/log.
# By default it is an account that LightDM's PAM service lets in for an automatic login on
# Debian 12 and 13: a real shell (Debian 13's stack refuses nologin and false), a locked
# password ("!", no password is asked) and no expiry day. Its home, /home/NAME unless --home
# says otherwise, is made fresh and empty, its own, mode 0755, as adduser makes it, so that a
# session can start; --no-home leaves the home to the caller.
add_user() {
  local name=$1 id=$2 shell=/bin/bash password='!' expire='' home=/home/$1 make_home=yes
  shift 2
  while [ $# -gt 0 ]; do
    case $1 in
      --shell) shell=$2; shift 2 ;;
      --password) password=$2; shift 2 ;;
      --expire) expire=$2; shift 2 ;;
      --home) home=$2; shift 2 ;;
      --no-home) make_home=no; shift ;;
      *) echo "add_user: unknown option $1" >&2; return 1 ;;
    esac
  done
  local root=${ACCOUNTS_ROOT:-}
  if [ "$make_home" = yes ]; then
    rm -rf "$root$home"
    install -d -m 0755 -o "$id" -g "$id" "$root$home"
  fi
  echo "$name:x:$id:$id::$home:$shell" >> "$root/etc/passwd"
  echo "$name:$password:19000:0:99999:7::$expire:" >> "$root/etc/shadow"
  echo "$name:x:$id:" >> "$root/etc/group"
  echo "$name:!::" >> "$root/etc/gshadow"
}
