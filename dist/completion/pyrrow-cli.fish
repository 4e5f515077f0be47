# fish completion for pyrrow-cli; --device offers what `pyrrow-cli list`
# finds (list looks at the ports without opening them).
set -l commands list flash report publish

# The units that the pyrrow-cli on the command line lists, then the forms
# of a device to type.
function __pyrrow_cli_devices
    set -l program (commandline -opc)[1]
    $program list 2>/dev/null | string match -r '^(?:serial|tcp|usb):.*'
    printf '%s\n' serial: tcp: usb usb:serial= usb:path=
end
complete -c pyrrow-cli -f
complete -c pyrrow-cli -n "not __fish_seen_subcommand_from $commands" -a list -d 'List the serial ports and USB units'
complete -c pyrrow-cli -n "not __fish_seen_subcommand_from $commands" -a flash -d 'Upload firmware into units'
complete -c pyrrow-cli -n "not __fish_seen_subcommand_from $commands" -a report -d "Sum up stations' logs"
complete -c pyrrow-cli -n "not __fish_seen_subcommand_from $commands" -a publish -d 'Send station logs to an MQTT broker'
complete -c pyrrow-cli -s h -l help -d 'Print the help and exit'
complete -c pyrrow-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version and exit'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from list' -l json -d 'One JSON object per line'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -F
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -s d -l device -x -d 'The unit' -a '(__pyrrow_cli_devices)'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l settings -r -F -d "The window's settings file"
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -s q -l quiet -d 'Print only the results'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l json -d 'JSON lines on standard output'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l timeout-scale -x -d 'Stretch the time-outs (0.01 to 100)'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l trace -r -F -d 'Write every exchange into FILE'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l pace -x -a 'protocol ack' -d 'TCP pacing'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l wait -d 'Wait for each unit'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l wait-timeout -x -d 'Give up waiting after SECONDS'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l repeat -d 'Station mode: unit after unit'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l count -x -d 'With --repeat: units per fixture'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l log -r -F -d 'Append a JSON line per unit to FILE'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from report' -F
complete -c pyrrow-cli -n '__fish_seen_subcommand_from report' -l json -d 'JSON lines on standard output'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from report' -l html -r -F -d 'Also write the report as a web page'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from report' -l since -x -d 'Only units that started at TIME or later'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from report' -l until -x -d 'Only units that started before TIME'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from report' -l tag -x -d 'Only units with this tag (KEY=VALUE)'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l sha256 -x -d 'Flash only the image of this SHA-256 (HEX or @FILE)'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l tag -x -d 'KEY=VALUE in every record and event'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash' -l publish -x -a 'mqtt:// mqtts://' -d 'Send records and status to an MQTT broker'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from flash publish' -l mqtt-login -r -F -d 'User and password from FILE'
complete -c pyrrow-cli -n '__fish_seen_subcommand_from publish' -F
complete -c pyrrow-cli -n '__fish_seen_subcommand_from publish' -l to -x -a 'mqtt:// mqtts://' -d 'The MQTT broker and prefix'
