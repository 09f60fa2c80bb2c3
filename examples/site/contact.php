<?php
$email = "orders@example.invalid";
$sent = isset($_POST['name']);
?>
<html>
<head><title>Contact</title>
<body>
<h1>Contact us</h1>
<?php if ($sent) { ?>
<p>Thank you, <?php echo htmlspecialchars($_POST['name']); ?>!
<?php } else { ?>
<form method=post action="contact.php">
Name: <input name=name><br>
<textarea name=message rows=5 cols=40></textarea>
<input type=submit value="Send">
</form>
<?php } ?>
<p>Or write to <a href="mailto:<?= $email ?>"><?= $email ?></a>
</body>
</html>
