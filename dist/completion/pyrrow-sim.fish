# fish completion for pyrrow-sim.
set -l links tcp serial usb

# The faults that the help of the pyrrow-sim on the command line lists under
# FAULTS (its other lines name links and options).
function __pyrrow_sim_faults
    set -l program (commandline -opc)[1]
    $program --help 2>/dev/null | sed -n '/^FAULTS/,$ s/^  \([a-z][a-z:-]*\)[=@ ].*/\1/p'
end
complete -c pyrrow-sim -f
complete -c pyrrow-sim -n "not __fish_seen_subcommand_from $links" -a tcp -d 'TCP units on consecutive ports'
complete -c pyrrow-sim -n "not __fish_seen_subcommand_from $links" -a serial -d 'A unit on a pseudo-terminal or a port'
complete -c pyrrow-sim -n "not __fish_seen_subcommand_from $links" -a usb -d 'A USB HID unit'
complete -c pyrrow-sim -s h -l help -d 'Print the help and exit'
complete -c pyrrow-sim -n "not __fish_seen_subcommand_from $links" -l version -d 'Print the version and exit'
complete -c pyrrow-sim -l fault -x -d 'Make a fault' -a '(__pyrrow_sim_faults)'
complete -c pyrrow-sim -l store -x -a '(__fish_complete_directories)' -d 'Write each image that ended in order into DIR'
complete -c pyrrow-sim -l trace -r -F -d 'Write every exchange to FILE'
complete -c pyrrow-sim -l expect -r -F -d 'The image the program should send'
complete -c pyrrow-sim -l once -d 'End after one upload per unit'
complete -c pyrrow-sim -l units -x -d 'Play a production line of N units'
complete -c pyrrow-sim -l gap -x -d 'Seconds a unit stays away'
complete -c pyrrow-sim -l json -d 'A JSON summary at the end'
complete -c pyrrow-sim -n '__fish_seen_subcommand_from tcp' -l listen -x -d 'Address and first port'
complete -c pyrrow-sim -n '__fish_seen_subcommand_from tcp' -l count -x -d 'Number of units'
complete -c pyrrow-sim -n '__fish_seen_subcommand_from tcp' -l idle-timeout -x -d 'Close a silent client after SECONDS'
complete -c pyrrow-sim -n '__fish_seen_subcommand_from serial' -l link -r -F -d 'A symbolic link to the pseudo-terminal'
complete -c pyrrow-sim -n '__fish_seen_subcommand_from serial' -l port -r -F -d 'Play the unit on this port'
complete -c pyrrow-sim -n '__fish_seen_subcommand_from serial' -l line-rate -d 'No faster than 115200 bit/s'
complete -c pyrrow-sim -n '__fish_seen_subcommand_from usb' -l uhid -r -F -d 'The user-space HID device'
