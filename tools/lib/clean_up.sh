# A script's clean-up, run however it ends: the steps given to on_exit run, the last
# given first, when it exits; ^C, SIGTERM and SIGHUP end it with the shell's status for
# them (130, 143, 129), and so run the steps too. Sourced, never run.

clean_up_steps=()

on_exit() { # command (run with eval): one more step of the clean-up
  clean_up_steps=("$1" "${clean_up_steps[@]}")
  trap run_clean_up EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
}

run_clean_up() {
  local status=$? step
  trap '' INT TERM HUP # a second ^C does not cut the clean-up short
  for step in "${clean_up_steps[@]}"; do
    eval "$step" || true
  done
  exit "$status"
}

scratch_folder() { # variable [mktemp -d arguments...]: a new folder, removed at exit
  local folder
  folder=$(mktemp -d "${@:2}")
  printf -v "$1" %s "$folder"
  on_exit "rm -rf $(printf %q "$folder")"
}
