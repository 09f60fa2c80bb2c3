# fish completion for kelvane

complete -c kelvane -s t -d 'Tidy INPUT through the tidy options dialog, saved to OUTPUT'
complete -c kelvane -s v -d 'Validate INPUT into REPORT'
complete -c kelvane -s h -d 'With -v: an HTML report'
complete -c kelvane -s X -d 'Accepted and ignored'
complete -c kelvane -l help -d 'Print a summary of the switches'
complete -c kelvane -l version -d 'Print the version'
