# fish completion for kelvane-send

complete -c kelvane-send -s t -d 'Tidy INPUT in the running window, saved to OUTPUT'
complete -c kelvane-send -s v -d 'Validate INPUT in the running window into OUTPUT'
complete -c kelvane-send -s h -d 'With -v: an HTML report'
complete -c kelvane-send -l help -d 'Print the usage'
complete -c kelvane-send -l version -d 'Print the version'
