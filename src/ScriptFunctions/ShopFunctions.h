#pragma once
// The script functions of the shop: item catalogs, money, car configurations, upgrades and the
// showroom car.

// Adds them to the library's script table; called once at start-up, before any script is loaded.
void RegisterShopScriptFunctions();
